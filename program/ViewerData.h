#pragma once
// How a built program reads itself: its marker record (which it holds in memory), the
// WindowSettings at offset S of its own file and the archive right behind them, and the page
// "formular.htm" extracted from that archive. Every length, offset and check sum is checked
// against what is really in the file before it is used; each failure has its own German
// message for the viewer's error box. The record, the messages and the settings come from
// ViewerRecord.h, which the Windows viewer shares.
//
// No Qt here: the viewer, the tests and the fuzz target share this code. This file and its
// source must never spell out the record's marker text (see ExeLayout.h).

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "program/ExeLayout.h"

namespace vantrel::exe {

// A struct rather than a Result: the viewer picks its German message by the kind of failure
// and prints the detail besides.
struct [[nodiscard]] ViewerPage {
  ViewerError error = ViewerError::None;
  std::string detail;  // the system's words about the failure, for the standard error output
  WindowSettings settings;
  std::uint64_t archiveStart = 0;
  std::filesystem::path pageFile;  // the extracted page

  explicit operator bool() const { return error == ViewerError::None; }
};

struct SettingsInProgram {
  WindowSettings settings;
  std::uint64_t end = 0;  // the offset right behind them, where the archive must start
};

// Reads the WindowSettings that start at `offset` of a file of `fileSize` bytes through
// `readAt` (parseViewerSettings of ViewerRecord.h, in the builder's types). Nothing when the
// file ends before them or a length is negative.
[[nodiscard]] std::optional<SettingsInProgram> readWindowSettings(const ReadAt& readAt,
                                                                  std::uint64_t fileSize,
                                                                  std::uint64_t offset);

// Everything the viewer does with its own data before it shows the page: checks the record,
// reads the settings at S of `nativeProgramPath`, opens the archive that must start right
// behind them and extracts "formular.htm" (its check sum verified) into `nativeDestFolder`.
ViewerPage loadViewerPage(const std::filesystem::path& nativeProgramPath,
                          const std::array<unsigned char, kMarkerRecordSize>& record,
                          const std::filesystem::path& nativeDestFolder);

}  // namespace vantrel::exe
