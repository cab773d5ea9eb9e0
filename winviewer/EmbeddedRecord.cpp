#include <cstddef>

#include "winviewer/SelfData.h"

namespace vantrel::winviewer {
namespace {

// Aligned to 32 bytes in memory and therefore in the file (a section keeps its file offset
// modulo the file alignment of 512), so the 20-byte record can never cross a 2048-byte block.
// Read through volatile memory so the compiler can neither fold it into the code nor drop it:
// what the program reads is what its file holds. Bytes 16..19 say "prototype" until the
// builder zeroes them.
alignas(32) volatile unsigned char gMarkerRecord[exe::kMarkerRecordSize] = {
    'B', 'R', 'X', 'T', 'E', 'X', 'E', 'H',  // S replaces the first four
    'V', 'F', 'R', 'M', 1,   0,   0,   0,    // layout tag and version
    'P', 'R', 'O', 'T'};

}  // namespace

std::array<unsigned char, exe::kMarkerRecordSize> markerRecord() {
  std::array<unsigned char, exe::kMarkerRecordSize> record{};
  for (std::size_t i = 0; i < record.size(); ++i) record[i] = gMarkerRecord[i];
  return record;
}

}  // namespace vantrel::winviewer
