#include "program/ViewerData.h"

#include <algorithm>
#include <exception>

#include "archive/ZLIBArchive.h"
#include "base/FileIo.h"
#include "base/Win1252.h"

namespace vantrel::exe {
namespace {

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

std::optional<SettingsInProgram> readWindowSettings(const ReadAt& readAt, std::uint64_t fileSize,
                                                    std::uint64_t offset) {
  const std::optional<ViewerSettings> parsed = parseViewerSettings(readAt, fileSize, offset);
  if (!parsed) return std::nullopt;
  SettingsInProgram read;
  ProjectSettings& settings = read.settings.settings;
  std::copy(parsed->elements.begin(), parsed->elements.end(), settings.elements.begin());
  settings.width = parsed->width;
  settings.height = parsed->height;
  settings.definedSize = parsed->definedSize;
  settings.fixedSize = parsed->fixedSize;
  settings.projectName = parsed->projectName;
  read.settings.pagePath = parsed->pagePath;
  read.end = parsed->end;
  return read;
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
