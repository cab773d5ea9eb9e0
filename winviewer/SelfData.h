#pragma once
// The Windows viewer reading its own file: the settings at S and the page behind them, through
// the reader it shares with the Linux viewer (program/ViewerRecord.h), over Win32 file calls.

#include <array>
#include <string>

#include "program/ViewerRecord.h"

namespace vantrel::winviewer {

// Reads the program file `programPath` given the record the program holds in memory.
exe::OwnData readOwnData(const std::wstring& programPath,
                         const std::array<unsigned char, exe::kMarkerRecordSize>& record);

// The running program's own file.
std::wstring ownProgramPath();

// The record as this program's file holds it (EmbeddedRecord.cpp).
std::array<unsigned char, exe::kMarkerRecordSize> markerRecord();

}  // namespace vantrel::winviewer
