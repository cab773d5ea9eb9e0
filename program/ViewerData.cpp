#include "program/ViewerData.h"

#include <algorithm>
#include <exception>

#include "archive/ZLIBArchive.h"
#include "base/FileIo.h"
#include "base/Win1252.h"
#include "base/brixtel.h"

namespace vantrel::exe {
namespace {

// Bytes 4..7 of the record. Bytes 0..3 are never compared: a constant holding them could
// end up right before this one and form the marker text a second time in the viewer's file.
constexpr std::array<unsigned char, 4> kRecordSecondHalf = {'E', 'X', 'E', 'H'};

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

// A window onto [offset, fileSize) of the program file.
class RegionReader final : public ByteReader {
 public:
  RegionReader(const ReadAt& readAt, std::uint64_t offset, std::uint64_t end)
      : readAt_(readAt), position_(offset), end_(end) {}
  [[nodiscard]] std::uint64_t remaining() const override { return end_ - position_; }
  void read(char* destination, std::size_t size) override {
    if (size > remaining() || !readAt_(position_, destination, size)) {
      throw InOutError(kReadBeyondEndOfFile);
    }
    position_ += size;
  }
  [[nodiscard]] std::uint64_t position() const { return position_; }

 private:
  const ReadAt& readAt_;
  std::uint64_t position_;
  std::uint64_t end_;
};

ViewerPage failure(ViewerError error, std::string detail) {
  ViewerPage page;
  page.error = error;
  page.detail = std::move(detail);
  return page;
}

bool isPageEntry(const zlb::RegistryEntry& entry) {
  return zlb::foldAsciiCase(entry.EntryName()) == kViewerPageName;
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

std::optional<SettingsInProgram> readWindowSettings(const ReadAt& readAt, std::uint64_t fileSize,
                                                    std::uint64_t offset) {
  if (offset > fileSize) return std::nullopt;
  RegionReader reader(readAt, offset, fileSize);
  try {
    SettingsInProgram read;
    read.settings.settings = readSettingsBlock(reader);
    read.settings.pagePath = ReadLengthPrefixedString(reader);
    read.end = reader.position();
    return read;
  } catch (const InOutError&) {
    return std::nullopt;
  }
}

ViewerPage loadViewerPage(const std::filesystem::path& nativeProgramPath,
                          const std::array<unsigned char, kMarkerRecordSize>& record,
                          const std::filesystem::path& nativeDestFolder) {
  const RecordInfo info = readMarkerRecord(record);
  if (info.state == RecordState::BarePrototype)
    return failure(ViewerError::BarePrototype, "no data attached");
  if (info.state == RecordState::Damaged)
    return failure(ViewerError::DamagedRecord, "unknown marker record");

  File program;
  if (!program.openForReading(nativeProgramPath)) {
    return failure(ViewerError::ProgramUnreadable, "cannot open " + nativeProgramPath.string());
  }
  const std::int64_t size = program.size();
  if (size < 0)
    return failure(ViewerError::ProgramUnreadable, "cannot stat " + nativeProgramPath.string());
  const ReadAt readAt = [&program](std::uint64_t offset, char* buffer, std::size_t count) {
    return program.readExactlyAt(offset, buffer, count);
  };
  std::optional<SettingsInProgram> settings =
      readWindowSettings(readAt, static_cast<std::uint64_t>(size), info.programLength);
  static_cast<void>(program.close());  // only read; the archive opens the file anew
  if (!settings)
    return failure(ViewerError::DamagedSettings, "settings beyond the end of the file");

  ViewerPage page;
  page.settings = std::move(settings->settings);
  page.archiveStart = settings->end;
  try {
    zlb::TZLBArchive archive;
    archive.CheckCRC = true;
    archive.OnErrorLogged = [](const std::string&) {};
    if (!archive.OpenArchive(nativeProgramPath))
      return failure(ViewerError::DamagedArchive, "no archive opened");
    // The archive found by its trailer must be the one right behind the settings; anything
    // else means the settings' lengths and the archive disagree.
    if (archive.GetArchiveStart() != page.archiveStart) {
      return failure(ViewerError::DamagedArchive, "the archive does not start behind the settings");
    }
    int index = -1;
    for (int i = 0; i < archive.Count(); ++i) {
      if (isPageEntry(archive.GetEntry(i))) {
        index = i;
        break;
      }
    }
    if (index < 0) return failure(ViewerError::NoPage, "no formular.htm in the archive");
    std::filesystem::path written;
    archive.OnFileExtracted = [&written](const std::filesystem::path& filename) {
      written = filename;
    };
    try {
      // Without an OnReplaceFile handler the page is written or this throws; a page not
      // written shows in `written` staying empty, checked below.
      static_cast<void>(archive.ExtractFile(index, nativeDestFolder));
    } catch (const zlb::EArchiveError& error) {
      const std::string what = error.what();
      if (what.rfind("CRC error", 0) == 0) return failure(ViewerError::DamagedPage, what);
      if (what.rfind("Unable to create file", 0) == 0)
        return failure(ViewerError::CannotExtract, what);
      return failure(ViewerError::DamagedArchive, what);
    }
    if (written.empty()) return failure(ViewerError::CannotExtract, "nothing extracted");
    page.pageFile = written;
  } catch (const std::exception& error) {
    return failure(ViewerError::DamagedArchive, error.what());
  }
  return page;
}

}  // namespace vantrel::exe
