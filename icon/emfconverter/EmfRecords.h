#pragma once
// The record checks that come before libemf2svg draws an enhanced metafile. The library trusts
// the sizes, counts and offsets inside the records it draws, so each record is held to the file
// first: its size to the bytes there, its contents by libUEMF's own record checks (the library
// libemf2svg reads records with).

#include <cstddef>
#include <string_view>

#include "icon/EmfConverterExit.h"

namespace vantrel {

struct EmfRecordCheck {
  EmfConverterExit verdict = EmfConverterExit::Drawn;  // Drawn: nothing found against them
  std::size_t drawableSize = 0;  // up to the end-of-file record, or the whole records there are
};

// `records` starts with the header record.
[[nodiscard]] EmfRecordCheck checkEmfRecords(std::string_view records);

}  // namespace vantrel
