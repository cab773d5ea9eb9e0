#pragma once
// How the Linux viewer reads itself: the shared reader of ViewerRecord.h over its own file,
// opened through the POSIX file layer, and the page "formular.htm" written into a folder of
// its choice through the one atomic writer.
//
// No Qt here: the viewer, the tests and the fuzz target share this code. This file and its
// source must never spell out the record's marker text (see ExeLayout.h).

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "program/ViewerRecord.h"

namespace vantrel::exe {

// What the shared reader found, and where the page was written.
struct [[nodiscard]] ViewerPage : OwnData {
  std::filesystem::path pageFile;  // the extracted page
};

// Everything the viewer does with its own data before it shows the page: checks the record,
// reads the settings at S of `nativeProgramPath` and the page from the archive that must start
// right behind them, and writes the page into `nativeDestFolder`.
ViewerPage loadViewerPage(const std::filesystem::path& nativeProgramPath,
                          const std::array<unsigned char, kMarkerRecordSize>& record,
                          const std::filesystem::path& nativeDestFolder);

// Where the archive of the built program `nativeProgramPath` ends, for readers that do not know
// where it starts: before a signed Windows program's certificate table and the signer's padding,
// otherwise at the file's end, also when something other than a signature follows the archive
// (the archive's own check refuses that). Nothing when the file cannot be read.
[[nodiscard]] std::optional<std::uint64_t> archiveEndInFile(
    const std::filesystem::path& nativeProgramPath);

}  // namespace vantrel::exe
