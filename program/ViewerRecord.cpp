#include "program/ViewerRecord.h"

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
    value = static_cast<std::int32_t>(zlb::readLE32(raw));
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

// A failed PageBytes or OwnData.
template <typename Result>
Result failure(ViewerError error, std::string detail) {
  Result result;
  result.error = error;
  result.detail = std::move(detail);
  return result;
}

// The archive's CRC-32 of [from, to) of the file; nothing when the file cannot be read there.
std::optional<std::uint32_t> crcOfRange(const ReadAt& readAt, std::uint64_t from,
                                        std::uint64_t to) {
  std::vector<char> chunk(kChunk);
  std::uint32_t crc = 0;
  for (std::uint64_t at = from; at < to;) {
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, to - at));
    if (!readAt(at, chunk.data(), take)) return std::nullopt;
    crc = zlb::crc32Of(chunk.data(), take, crc);
    at += take;
  }
  return crc;
}

// Feeds the archive's inflater from [from, to) of the file and nothing beyond, so a damaged
// stream can never read into the next member, the registry or the trailer.
zlb::ZlibInflater::Source sourceBetween(const ReadAt& readAt, std::uint64_t from,
                                        std::uint64_t to) {
  return [&readAt, next = from, to](unsigned char* buffer,
                                    std::size_t capacity) mutable -> std::size_t {
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(capacity, to - next));
    if (take == 0 || !readAt(next, reinterpret_cast<char*>(buffer), take)) return 0;
    next += take;
    return take;
  };
}

// The first `size` bytes the zlib stream in [from, to) inflates to, as TZLBArchive reads a
// member or registry: grown as the bytes really arrive, so a false size allocates nothing.
std::optional<std::string> inflateRange(const ReadAt& readAt, std::uint64_t from, std::uint64_t to,
                                        std::uint64_t size) {
  zlb::ZlibInflater inflater(sourceBetween(readAt, from, to));
  std::string out;
  std::vector<char> chunk(kChunk);
  while (out.size() < size) {
    const std::size_t ask =
        static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - out.size()));
    const std::optional<std::size_t> got = inflater.read(chunk.data(), ask);
    if (!got || *got < ask) return std::nullopt;
    out.append(chunk.data(), *got);
  }
  return out;
}

// The registry's records, checked as TZLBArchive checks them on opening.
std::optional<std::vector<zlb::RegistryEntry>> readRegistry(const ReadAt& readAt,
                                                            const zlb::ArchiveTrailer& trailer,
                                                            std::uint64_t start,
                                                            std::uint64_t end) {
  if (trailer.EntryCount <= 0) return std::vector<zlb::RegistryEntry>();
  const std::uint64_t count = static_cast<std::uint64_t>(trailer.EntryCount);
  const std::uint64_t wanted = count * zlb::kEntrySize;
  const std::uint64_t available = end - start;
  if (zlb::registryTooLarge(count, available)) return std::nullopt;
  std::optional<std::string> records;
  if (trailer.RegistryCompressed == 0) {
    if (wanted > available) return std::nullopt;
    records.emplace(static_cast<std::size_t>(wanted), '\0');
    if (!readAt(start, records->data(), records->size())) return std::nullopt;
  } else if (trailer.RegistryCompressed == 1) {
    // What the stream could at most inflate to; a count beyond it cannot be real.
    if (wanted > available * zlb::kMaxInflateRatio + 64) return std::nullopt;
    records = inflateRange(readAt, start, end, wanted);
  }
  if (!records) return std::nullopt;
  std::vector<zlb::RegistryEntry> entries = zlb::registryEntries(
      reinterpret_cast<const unsigned char*>(records->data()), static_cast<std::size_t>(count));
  if (zlb::membersOverlap(entries, trailer.RegistryOffset)) return std::nullopt;
  return entries;
}

// The archive's trailer in the last bytes before `end`, checked to describe exactly the bytes
// from `archiveStart` to itself.
enum class TrailerCheck { Fits, NoRoom, Unreadable, Misplaced };

TrailerCheck readTrailer(const ReadAt& readAt, std::uint64_t archiveStart, std::uint64_t end,
                         zlb::ArchiveTrailer& trailer) {
  if (archiveStart > end || end - archiveStart < zlb::kTrailerSize) return TrailerCheck::NoRoom;
  const std::uint64_t trailerAt = end - zlb::kTrailerSize;
  unsigned char bytes[zlb::kTrailerSize];
  if (!readAt(trailerAt, reinterpret_cast<char*>(bytes), zlb::kTrailerSize))
    return TrailerCheck::Unreadable;
  trailer = zlb::ArchiveTrailer::fromBytes(bytes);
  return trailer.RegistryOffset + trailer.registryLength() == trailerAt - archiveStart
             ? TrailerCheck::Fits
             : TrailerCheck::Misplaced;
}

// The certificate table of a signed Windows program as its PE header names it (IMAGE_DIRECTORY_
// ENTRY_SECURITY): a file offset, not an address. Both zero in an unsigned program and in a
// file that is no PE file, such as the Linux viewer.
struct CertificateDirectory {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

constexpr std::uint64_t kPeHeaderPointerAt = 0x3C;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kCertificateDirectoryIndex = 4;
constexpr std::uint64_t kCertificateAlignment = 8;
// A certificate table holds at least one WIN_CERTIFICATE header.
constexpr std::uint64_t kCertificateHeaderSize = 8;

std::uint16_t readLE16(const unsigned char* at) {
  return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

CertificateDirectory certificateDirectory(const ReadAt& readAt, std::uint64_t fileSize) {
  Cursor dosHeader(readAt, 0, fileSize);
  unsigned char dos[kPeHeaderPointerAt + 4];
  if (!dosHeader.bytes(reinterpret_cast<char*>(dos), sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
    return {};
  // The PE signature, the 20-byte file header and the optional header's magic.
  const std::uint64_t peAt = zlb::readLE32(dos + kPeHeaderPointerAt);
  unsigned char pe[4 + 20 + 2];
  Cursor peHeader(readAt, peAt, fileSize);
  if (!peHeader.bytes(reinterpret_cast<char*>(pe), sizeof pe) || pe[0] != 'P' || pe[1] != 'E' ||
      pe[2] != 0 || pe[3] != 0)
    return {};
  const std::uint64_t optionalAt = peAt + 24;
  const std::uint64_t optionalSize = readLE16(pe + 20);
  const std::uint16_t magic = readLE16(pe + 24);
  if (magic != kPe32Magic && magic != kPe32PlusMagic) return {};
  // The directory count and the directories follow the fields whose width depends on the magic.
  const std::uint64_t countAt = magic == kPe32Magic ? 92 : 108;
  const std::uint64_t entryAt = countAt + 4 + std::uint64_t{8} * kCertificateDirectoryIndex;
  if (entryAt + 8 > optionalSize) return {};
  unsigned char count[4];
  unsigned char entry[8];
  Cursor countField(readAt, optionalAt + countAt, fileSize);
  Cursor entryField(readAt, optionalAt + entryAt, fileSize);
  if (!countField.bytes(reinterpret_cast<char*>(count), sizeof count) ||
      zlb::readLE32(count) <= kCertificateDirectoryIndex ||
      !entryField.bytes(reinterpret_cast<char*>(entry), sizeof entry))
    return {};
  return {zlb::readLE32(entry), zlb::readLE32(entry + 4)};
}

const zlb::RegistryEntry* findPageEntry(const std::vector<zlb::RegistryEntry>& entries) {
  for (const zlb::RegistryEntry& entry : entries) {
    if (zlb::foldAsciiCase(entry.EntryName()) == kViewerPageName) return &entry;
  }
  return nullptr;
}

}  // namespace

RecordInfo readMarkerRecord(const std::array<unsigned char, kMarkerRecordSize>& record) {
  RecordInfo info;
  const bool ours = holds(record, 4, kRecordSecondHalf) && holds(record, 8, kRecordTag) &&
                    zlb::readLE32(record.data() + 12) == kRecordVersion;
  if (!ours) return info;
  // The builder zeroes bytes 16..19; as long as they hold the prototype's tail, S is not there.
  if (holds(record, 16, kPrototypeTail)) {
    info.state = RecordState::BarePrototype;
  } else if (zlb::readLE32(record.data() + 16) == 0) {
    info.state = RecordState::Patched;
    info.programLength = zlb::readLE32(record.data());
  }
  return info;
}

std::optional<SettingsInProgram> readWindowSettings(const ReadAt& readAt, std::uint64_t fileSize,
                                                    std::uint64_t offset) {
  Cursor cursor(readAt, offset, fileSize);
  SettingsInProgram read;
  ProjectSettings& settings = read.settings.settings;
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
  if (!cursor.text(settings.projectName) || !cursor.text(read.settings.pagePath))
    return std::nullopt;
  read.end = cursor.position();
  return read;
}

PageBytes readPageMember(const ReadAt& readAt, std::uint64_t fileSize, std::uint64_t archiveStart) {
  zlb::ArchiveTrailer trailer;
  switch (readTrailer(readAt, archiveStart, fileSize, trailer)) {
    case TrailerCheck::Fits:
      break;
    case TrailerCheck::NoRoom:
      return failure<PageBytes>(ViewerError::DamagedArchive, "no room for the archive's trailer");
    case TrailerCheck::Unreadable:
      return failure<PageBytes>(ViewerError::ProgramUnreadable, "cannot read the trailer");
    case TrailerCheck::Misplaced:
      return failure<PageBytes>(ViewerError::DamagedArchive,
                                "the archive does not start behind the settings");
  }
  const std::uint64_t trailerAt = fileSize - zlb::kTrailerSize;
  const std::optional<std::uint32_t> crc = crcOfRange(readAt, archiveStart, trailerAt);
  if (!crc || *crc != trailer.ArchiveCRC)
    return failure<PageBytes>(ViewerError::DamagedArchive, "archive check sum wrong");
  const auto entries =
      readRegistry(readAt, trailer, archiveStart + trailer.RegistryOffset, trailerAt);
  if (!entries) return failure<PageBytes>(ViewerError::DamagedArchive, "unreadable registry");
  const zlb::RegistryEntry* entry = findPageEntry(*entries);
  if (!entry) return failure<PageBytes>(ViewerError::NoPage, "no formular.htm in the archive");

  const std::uint64_t offset = entry->DataOffset();
  const std::uint64_t stored = entry->StoredSize();
  const std::uint64_t size = entry->FileSize();
  // Member bytes lie before the registry; a raw member is stored at its own size.
  if (offset + stored > trailer.RegistryOffset || (entry->StoredRaw() && stored != size))
    return failure<PageBytes>(ViewerError::DamagedArchive, "member outside the archive");
  PageBytes page;
  const std::uint64_t begin = archiveStart + offset;
  if (entry->StoredRaw()) {
    page.bytes.resize(static_cast<std::size_t>(size));
    if (!readAt(begin, page.bytes.data(), page.bytes.size()))
      return failure<PageBytes>(ViewerError::DamagedPage, "member unreadable");
  } else if (std::optional<std::string> inflated =
                 inflateRange(readAt, begin, begin + stored, size)) {
    page.bytes = std::move(*inflated);
  } else {
    return failure<PageBytes>(ViewerError::DamagedPage, "member does not inflate to its size");
  }
  if (zlb::crc32Of(page.bytes.data(), page.bytes.size()) != entry->FileCRC())
    return failure<PageBytes>(ViewerError::DamagedPage, "CRC error in formular.htm");
  return page;
}

std::optional<std::uint64_t> archiveEnd(const ReadAt& readAt, std::uint64_t fileSize,
                                        std::uint64_t archiveStart) {
  const CertificateDirectory table = certificateDirectory(readAt, fileSize);
  if (table.offset == 0 && table.size == 0) return fileSize;
  const std::uint64_t start = table.offset;
  if (start < archiveStart || start > fileSize || fileSize - start != table.size ||
      table.size < kCertificateHeaderSize || start % kCertificateAlignment != 0)
    return std::nullopt;
  // The signer's padding is zero bytes; the trailer right before it fits the archive.
  char padding[kCertificateAlignment - 1];
  const std::uint64_t room = std::min<std::uint64_t>(sizeof padding, start - archiveStart);
  if (!readAt(start - room, padding, static_cast<std::size_t>(room))) return std::nullopt;
  zlb::ArchiveTrailer trailer;
  for (std::uint64_t pad = 0; pad <= room; ++pad) {
    if (pad > 0 && padding[room - pad] != 0) break;
    if (readTrailer(readAt, archiveStart, start - pad, trailer) == TrailerCheck::Fits)
      return start - pad;
  }
  // No trailer fits: the archive is read up to the table, so its own check reports the damage.
  return start;
}

OwnData readOwnData(const std::array<unsigned char, kMarkerRecordSize>& record,
                    const OpenProgram& open, const ReadAt& readAt) {
  const RecordInfo info = readMarkerRecord(record);
  if (info.state == RecordState::BarePrototype)
    return failure<OwnData>(ViewerError::BarePrototype, "no data attached");
  if (info.state == RecordState::Damaged)
    return failure<OwnData>(ViewerError::DamagedRecord, "unknown marker record");
  const std::optional<std::uint64_t> fileSize = open();
  if (!fileSize)
    return failure<OwnData>(ViewerError::ProgramUnreadable, "cannot open the program file");
  std::optional<SettingsInProgram> settings =
      readWindowSettings(readAt, *fileSize, info.programLength);
  if (!settings)
    return failure<OwnData>(ViewerError::DamagedSettings, "settings beyond the end of the file");
  const std::optional<std::uint64_t> end = archiveEnd(readAt, *fileSize, settings->end);
  if (!end)
    return failure<OwnData>(ViewerError::DamagedArchive, "bytes after the archive's signature");
  PageBytes page = readPageMember(readAt, *end, settings->end);
  if (!page) return failure<OwnData>(page.error, std::move(page.detail));
  OwnData data;
  data.settings = std::move(settings->settings);
  data.archiveStart = settings->end;
  data.page = std::move(page.bytes);
  return data;
}

}  // namespace vantrel::exe
