#pragma once
// How every viewer, whatever its platform, reads its own data: the marker record it holds in
// memory, the WindowSettings at offset S of its file and the page member of the archive behind
// them. Bytes come in through a ReadAt the caller provides; nothing here throws, opens a file
// or needs more than the standard library and zlib, so the Windows viewer compiles these
// sources with its cross compiler as they are, and the Linux viewer uses them through its own
// file layer (ViewerData.h). The archive's own checks, inflating and check sums are those of
// archive/ArchiveFormat.h, so this reader and TZLBArchive accept and refuse the same archives.
//
// This file and its source must never spell out the record's marker text (see ExeLayout.h).

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "project/ProjectSettings.h"

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

// Each kind of failure has its own German message (viewerErrorMessage in ViewerTexts.h).
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

inline constexpr std::string_view kViewerPageName = "formular.htm";

// Fills `size` bytes at `offset` of the program file, or returns false.
using ReadAt = std::function<bool(std::uint64_t offset, char* buffer, std::size_t size)>;

// The settings section of a built program: the project's window settings and the page's path
// as it was handed to the archive (Windows-1252).
struct WindowSettings {
  ProjectSettings settings;
  std::string pagePath;

  bool operator==(const WindowSettings&) const = default;
};

struct SettingsInProgram {
  WindowSettings settings;
  std::uint64_t end = 0;  // the offset right behind them, where the archive must start
};

// The WindowSettings that start at `offset` of a file of `fileSize` bytes. Nothing when the
// file ends before them or a length is negative.
[[nodiscard]] std::optional<SettingsInProgram> readWindowSettings(const ReadAt& readAt,
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
// regard to ASCII case), inflated and checked against its recorded check sum. Every length and
// offset is checked against the file before anything is allocated for it.
PageBytes readPageMember(const ReadAt& readAt, std::uint64_t fileSize, std::uint64_t archiveStart);

// Where the archive that starts at `archiveStart` ends in a file of `fileSize` bytes: the end of
// the file, unless the file is a Windows program whose PE header names a certificate table (a
// signed program). The signer appends that table as the file's last bytes, aligned to 8 bytes
// by up to seven zero bytes in front of it; the archive ends where that padding starts, which
// is where the archive's own trailer says it does. Nothing when the certificate table is not
// the last thing in the file or its header is cut short: bytes after the signature are refused
// as any other bytes after the archive are.
[[nodiscard]] std::optional<std::uint64_t> archiveEnd(const ReadAt& readAt, std::uint64_t fileSize,
                                                      std::uint64_t archiveStart);

// Everything a viewer reads of its own data, or the kind of failure that stopped it.
struct [[nodiscard]] OwnData {
  ViewerError error = ViewerError::None;
  std::string detail;  // English, for the standard error output
  WindowSettings settings;
  std::uint64_t archiveStart = 0;
  std::string page;  // the bytes of "formular.htm"

  explicit operator bool() const { return error == ViewerError::None; }
};

// Opens the program file for `readAt` and gives its size; nothing when it cannot.
using OpenProgram = std::function<std::optional<std::uint64_t>()>;

// Checks the record, then opens the program file, reads the settings at S and the page from
// the archive that must start right behind them and end at archiveEnd.
OwnData readOwnData(const std::array<unsigned char, kMarkerRecordSize>& record,
                    const OpenProgram& open, const ReadAt& readAt);

}  // namespace vantrel::exe
