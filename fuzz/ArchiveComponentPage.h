#pragma once
// The page of a built program as the archive component (TZLBArchive) finds it, the yardstick
// against which the fuzz target and the tests hold the one reader of both viewers
// (program/ViewerRecord.h): both must accept and refuse the same archives.

#include <cstdint>
#include <exception>
#include <filesystem>
#include <sstream>
#include <string>

#include "archive/ZLIBArchive.h"
#include "program/ViewerRecord.h"

namespace vantrel::exe {

enum class PageVerdict { Refused, NoPage, Page };

// What the archive component makes of the archive that must start at `archiveStart` of
// `program`: the page "formular.htm" (its check sum verified) into `page`, an archive without
// that page, or a refusal.
inline PageVerdict archiveComponentPage(const std::filesystem::path& program,
                                        std::uint64_t archiveStart, std::string& page) {
  try {
    zlb::TZLBArchive archive;
    archive.CheckCRC = true;
    if (!archive.OpenArchive(program) || archive.GetArchiveStart() != archiveStart)
      return PageVerdict::Refused;
    for (int i = 0; i < archive.Count(); ++i) {
      if (zlb::foldAsciiCase(archive.GetEntry(i).EntryName()) != kViewerPageName) continue;
      std::ostringstream bytes;
      archive.ExtractToStream(i, bytes);
      page = bytes.str();
      return PageVerdict::Page;
    }
    return PageVerdict::NoPage;
  } catch (const std::exception&) {
    return PageVerdict::Refused;
  }
}

// The same verdict for what the one reader found.
inline PageVerdict verdictOf(ViewerError error) {
  if (error == ViewerError::None) return PageVerdict::Page;
  return error == ViewerError::NoPage ? PageVerdict::NoPage : PageVerdict::Refused;
}

}  // namespace vantrel::exe
