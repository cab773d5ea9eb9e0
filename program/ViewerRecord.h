#pragma once
// What every viewer, whatever its platform, reads of its own data without a file layer of its
// own: the marker record it holds in memory, the WindowSettings at offset S of its file and the
// page member of the archive behind them. Bytes come in through a ReadAt the caller provides;
// nothing here throws, opens a file or needs more than the standard library and zlib, so the
// Windows viewer compiles these sources with its cross compiler as they are.
//
// This file and its source must never spell out the record's marker text (see ExeLayout.h).

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel::exe {

// The record's layout is described in ExeLayout.h.
inline constexpr std::size_t kMarkerRecordSize = 20;
inline constexpr std::array<unsigned char, 4> kRecordTag = {'V', 'F', 'R', 'M'};
inline constexpr std::uint32_t kRecordVersion = 1;
inline constexpr std::array<unsigned char, 4> kPrototypeTail = {'P', 'R', 'O', 'T'};

enum class RecordState {
  Patched,        // S is in the record: the program carries data
  BarePrototype,  // the record is as the viewer was built: no form behind it
  Damaged,        // neither: the record was changed by something else
};

struct RecordInfo {
  RecordState state = RecordState::Damaged;
  std::uint32_t programLength = 0;  // S, when patched
};

[[nodiscard]] RecordInfo readMarkerRecord(
    const std::array<unsigned char, kMarkerRecordSize>& record);

enum class ViewerError {
  None,
  BarePrototype,
  DamagedRecord,
  ProgramUnreadable,
  DamagedSettings,
  DamagedArchive,
  NoPage,
  DamagedPage,
  CannotExtract,
};

// The German text of the viewer's error box for each failure (Windows-1252).
std::string_view viewerErrorMessage(ViewerError error);
inline constexpr std::string_view kViewerErrorTitle = "Fehler";
inline constexpr std::string_view kViewerPageName = "formular.htm";

// Fills `size` bytes at `offset` of the program file, or returns false.
using ReadAt = std::function<bool(std::uint64_t offset, char* buffer, std::size_t size)>;

// WindowSettings as plain values, the way a viewer uses them.
struct ViewerSettings {
  std::array<bool, 10> elements{};  // in file order: status bar ... exit button
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool definedSize = true;
  bool fixedSize = false;
  std::string projectName;  // Windows-1252
  std::string pagePath;     // Windows-1252
  std::uint64_t end = 0;    // the offset right behind them, where the archive must start

  bool operator==(const ViewerSettings&) const = default;
};

// The WindowSettings that start at `offset` of a file of `fileSize` bytes. Nothing when the
// file ends before them or a length is negative.
[[nodiscard]] std::optional<ViewerSettings> parseViewerSettings(const ReadAt& readAt,
                                                                std::uint64_t fileSize,
                                                                std::uint64_t offset);

// A struct rather than a Result: the viewer picks its German message by the kind of failure.
struct [[nodiscard]] PageBytes {
  ViewerError error = ViewerError::None;
  std::string detail;  // English, for a log
  std::string bytes;   // the page, inflated and its check sum verified

  explicit operator bool() const { return error == ViewerError::None; }
};

// The archive that must start at `archiveStart` and run to the end of the file: its trailer,
// its archive check sum, its registry and the member "formular.htm" (its name compared without
// regard to ASCII case), inflated and checked against its recorded size and check sum. Every
// length and offset is checked against the file before anything is allocated for it.
PageBytes readPageMember(const ReadAt& readAt, std::uint64_t fileSize, std::uint64_t archiveStart);

}  // namespace vantrel::exe
