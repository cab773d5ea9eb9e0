#pragma once
// The Windows viewer reading its own file: the settings at S and the page behind them, through
// the readers it shares with the Linux viewer (program/ViewerRecord.h).

#include <array>
#include <string>

#include "program/ViewerRecord.h"

namespace vantrel::winviewer {

struct [[nodiscard]] OwnData {
  exe::ViewerError error = exe::ViewerError::None;
  std::string detail;  // English, for the standard error output
  exe::ViewerSettings settings;
  std::string page;  // the bytes of "formular.htm"

  explicit operator bool() const { return error == exe::ViewerError::None; }
};

// Reads the program file `programPath` given the record the program holds in memory.
OwnData readOwnData(const std::wstring& programPath,
                    const std::array<unsigned char, exe::kMarkerRecordSize>& record);

// The running program's own file.
std::wstring ownProgramPath();

// The record as this program's file holds it (EmbeddedRecord.cpp).
std::array<unsigned char, exe::kMarkerRecordSize> markerRecord();

}  // namespace vantrel::winviewer
