#include "program/ViewerRecord.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

#include "archive/ArchiveFormat.h"

namespace vantrel::exe {
namespace {

// Bytes 4..7 of the record. Bytes 0..3 are never compared: a constant holding them could
// end up right before this one and form the marker text a second time in the viewer's file.
constexpr std::array<unsigned char, 4> kRecordSecondHalf = {'E', 'X', 'E', 'H'};

// Reading in pieces keeps a damaged length from asking for one huge buffer.
constexpr std::size_t kChunk = 65536;

std::uint32_t le32(const unsigned char* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

template <std::size_t N>
bool holds(const std::array<unsigned char, kMarkerRecordSize>& record, std::size_t at,
           const std::array<unsigned char, N>& expected) {
  return std::equal(expected.begin(), expected.end(),
                    record.begin() + static_cast<std::ptrdiff_t>(at));
}

// Sequential reading of [position, end) of the program file.
class Cursor {
 public:
  Cursor(const ReadAt& readAt, std::uint64_t position, std::uint64_t end)
      : readAt_(readAt), position_(position), end_(end) {}

  bool bytes(char* into, std::size_t size) {
    if (position_ > end_ || size > end_ - position_ || !readAt_(position_, into, size))
      return false;
    position_ += size;
    return true;
  }
  bool byte(unsigned char& value) { return bytes(reinterpret_cast<char*>(&value), 1); }
  bool int32(std::int32_t& value) {
    unsigned char raw[4];
    if (!bytes(reinterpret_cast<char*>(raw), 4)) return false;
    value = static_cast<std::int32_t>(le32(raw));
    return true;
  }
  // A LengthPrefixedString; its length is checked against the file before the text is read.
  bool text(std::string& value) {
    std::int32_t length = 0;
    if (!int32(length) || length < 0) return false;
    if (static_cast<std::uint64_t>(length) > end_ - position_) return false;
    value.resize(static_cast<std::size_t>(length));
    return bytes(value.data(), value.size());
  }
  [[nodiscard]] std::uint64_t position() const { return position_; }

 private:
  const ReadAt& readAt_;
  std::uint64_t position_;
  std::uint64_t end_;
};

PageBytes pageFailure(ViewerError error, std::string detail) {
  PageBytes page;
  page.error = error;
  page.detail = std::move(detail);
  return page;
}

// zlib's CRC-32 of [from, to) of the file; nothing when the file cannot be read there.
std::optional<std::uint32_t> crcOfRange(const ReadAt& readAt, std::uint64_t from,
                                        std::uint64_t to) {
  std::vector<char> chunk(kChunk);
  uLong crc = crc32(0L, Z_NULL, 0);
  for (std::uint64_t at = from; at < to;) {
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, to - at));
    if (!readAt(at, chunk.data(), take)) return std::nullopt;
    crc = crc32(crc, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(take));
    at += take;
  }
  return static_cast<std::uint32_t>(crc);
}

// Inflates one zlib stream held in [from, to) into `out`, which must end up exactly `expected`
// bytes long; more output than that is refused as soon as it appears.
bool inflateRange(const ReadAt& readAt, std::uint64_t from, std::uint64_t to,
                  std::uint64_t expected, std::string& out) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;
  std::vector<char> input(kChunk);
  std::vector<char> output(kChunk);
  int status = Z_OK;
  std::uint64_t at = from;
  while (status != Z_STREAM_END) {
    if (stream.avail_in == 0) {
      const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, to - at));
      if (take == 0 || !readAt(at, input.data(), take)) break;
      at += take;
      stream.next_in = reinterpret_cast<Bytef*>(input.data());
      stream.avail_in = static_cast<uInt>(take);
    }
    stream.next_out = reinterpret_cast<Bytef*>(output.data());
    stream.avail_out = static_cast<uInt>(output.size());
    status = inflate(&stream, Z_NO_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END) break;
    const std::size_t produced = output.size() - stream.avail_out;
    if (produced > expected - out.size()) break;
    out.append(output.data(), produced);
  }
  inflateEnd(&stream);
  return status == Z_STREAM_END && out.size() == expected;
}

std::optional<std::string> readRegistry(const ReadAt& readAt, const zlb::ArchiveTrailer& trailer,
                                        std::uint64_t start, std::uint64_t end) {
  if (trailer.EntryCount <= 0) return std::string();
  const std::uint64_t wanted = static_cast<std::uint64_t>(trailer.EntryCount) * zlb::kEntrySize;
  const std::uint64_t available = end - start;
  std::string records;
  if (trailer.RegistryCompressed == 0) {
    if (wanted > available) return std::nullopt;
    records.resize(static_cast<std::size_t>(wanted));
    if (!readAt(start, records.data(), records.size())) return std::nullopt;
    return records;
  }
  // What the stream could at most inflate to; a count beyond it cannot be real.
  if (trailer.RegistryCompressed != 1 || wanted > available * zlb::kMaxInflateRatio + 64)
    return std::nullopt;
  if (!inflateRange(readAt, start, end, wanted, records)) return std::nullopt;
  return records;
}

std::optional<zlb::RegistryEntry> findPageEntry(const std::string& records) {
  for (std::size_t at = 0; at + zlb::kEntrySize <= records.size(); at += zlb::kEntrySize) {
    zlb::RegistryEntry entry;
    std::copy_n(records.begin() + static_cast<std::ptrdiff_t>(at), zlb::kEntrySize,
                entry.Bytes.begin());
    if (zlb::foldAsciiCase(entry.EntryName()) == kViewerPageName) return entry;
  }
  return std::nullopt;
}

}  // namespace

RecordInfo readMarkerRecord(const std::array<unsigned char, kMarkerRecordSize>& record) {
  RecordInfo info;
  const bool ours = holds(record, 4, kRecordSecondHalf) && holds(record, 8, kRecordTag) &&
                    le32(record.data() + 12) == kRecordVersion;
  if (!ours) return info;
  // The builder zeroes bytes 16..19; as long as they hold the prototype's tail, S is not there.
  if (holds(record, 16, kPrototypeTail)) {
    info.state = RecordState::BarePrototype;
  } else if (le32(record.data() + 16) == 0) {
    info.state = RecordState::Patched;
    info.programLength = le32(record.data());
  }
  return info;
}

std::string_view viewerErrorMessage(ViewerError error) {
  switch (error) {
    case ViewerError::None:
      return "";
    case ViewerError::BarePrototype:
      return "Dieses Programm ist die leere Vorlage von Vantrel Formulare und enth\xE4lt kein "
             "Formular.";
    case ViewerError::DamagedRecord:
      return "Die Daten dieses Programms sind besch\xE4"
             "digt: der Kennsatz ist ung\xFCltig.";
    case ViewerError::ProgramUnreadable:
      return "Die Programmdatei konnte nicht gelesen werden.";
    case ViewerError::DamagedSettings:
      return "Die Daten dieses Programms sind besch\xE4"
             "digt: die Fenstereinstellungen sind "
             "unvollst\xE4ndig.";
    case ViewerError::DamagedArchive:
      return "Die Daten dieses Programms sind besch\xE4"
             "digt: das Formular-Archiv ist fehlerhaft.";
    case ViewerError::NoPage:
      return "Das Formular-Archiv dieses Programms enth\xE4lt keine Datei formular.htm.";
    case ViewerError::DamagedPage:
      return "Die Formularseite dieses Programms ist besch\xE4"
             "digt (Pr\xFC"
             "fsumme falsch).";
    case ViewerError::CannotExtract:
      return "Die Formularseite konnte nicht in einen tempor\xE4ren Ordner entpackt werden.";
  }
  return "";
}

std::optional<ViewerSettings> parseViewerSettings(const ReadAt& readAt, std::uint64_t fileSize,
                                                  std::uint64_t offset) {
  Cursor cursor(readAt, offset, fileSize);
  ViewerSettings settings;
  unsigned char flag = 0;
  for (bool& element : settings.elements) {
    if (!cursor.byte(flag)) return std::nullopt;
    element = flag != 0;
  }
  if (!cursor.int32(settings.width) || !cursor.int32(settings.height)) return std::nullopt;
  if (!cursor.byte(flag)) return std::nullopt;
  settings.definedSize = flag != 0;
  if (!cursor.byte(flag)) return std::nullopt;
  settings.fixedSize = flag != 0;
  if (!cursor.text(settings.projectName) || !cursor.text(settings.pagePath)) return std::nullopt;
  settings.end = cursor.position();
  return settings;
}

PageBytes readPageMember(const ReadAt& readAt, std::uint64_t fileSize, std::uint64_t archiveStart) {
  if (archiveStart > fileSize || fileSize - archiveStart < zlb::kTrailerSize)
    return pageFailure(ViewerError::DamagedArchive, "no room for the archive's trailer");
  const std::uint64_t trailerAt = fileSize - zlb::kTrailerSize;
  unsigned char trailerBytes[zlb::kTrailerSize];
  if (!readAt(trailerAt, reinterpret_cast<char*>(trailerBytes), zlb::kTrailerSize))
    return pageFailure(ViewerError::ProgramUnreadable, "cannot read the trailer");
  const zlb::ArchiveTrailer trailer = zlb::ArchiveTrailer::fromBytes(trailerBytes);
  // The trailer must describe exactly the bytes between the settings and itself.
  if (trailer.RegistryOffset + trailer.registryLength() != trailerAt - archiveStart)
    return pageFailure(ViewerError::DamagedArchive,
                       "the archive does not start behind the settings");
  const std::optional<std::uint32_t> crc = crcOfRange(readAt, archiveStart, trailerAt);
  if (!crc || *crc != trailer.ArchiveCRC)
    return pageFailure(ViewerError::DamagedArchive, "archive check sum wrong");
  const std::optional<std::string> records =
      readRegistry(readAt, trailer, archiveStart + trailer.RegistryOffset, trailerAt);
  if (!records) return pageFailure(ViewerError::DamagedArchive, "unreadable registry");
  const std::optional<zlb::RegistryEntry> entry = findPageEntry(*records);
  if (!entry) return pageFailure(ViewerError::NoPage, "no formular.htm in the archive");

  const std::uint64_t offset = entry->DataOffset();
  const std::uint64_t stored = entry->StoredSize();
  const std::uint64_t size = entry->FileSize();
  // Member bytes lie before the registry; a raw member is stored at its own size.
  if (offset + stored > trailer.RegistryOffset || (entry->StoredRaw() && stored != size) ||
      (!entry->StoredRaw() && size > stored * zlb::kMaxInflateRatio + 64))
    return pageFailure(ViewerError::DamagedArchive, "member outside the archive");
  PageBytes page;
  const std::uint64_t begin = archiveStart + offset;
  if (entry->StoredRaw()) {
    page.bytes.resize(static_cast<std::size_t>(size));
    if (!readAt(begin, page.bytes.data(), page.bytes.size()))
      return pageFailure(ViewerError::DamagedPage, "member unreadable");
  } else if (!inflateRange(readAt, begin, begin + stored, size, page.bytes)) {
    return pageFailure(ViewerError::DamagedPage, "member does not inflate to its size");
  }
  const uLong memberCrc =
      crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(page.bytes.data()),
            static_cast<uInt>(page.bytes.size()));
  if (static_cast<std::uint32_t>(memberCrc) != entry->FileCRC())
    return pageFailure(ViewerError::DamagedPage, "CRC error in formular.htm");
  return page;
}

}  // namespace vantrel::exe
