#include "viewer/EmbeddedData.h"

#include <cstddef>

namespace vantrel::viewer {
namespace {

// Aligned to 32 bytes in memory and therefore in the file (a loaded segment keeps its file
// offset modulo the page size), so the 20-byte record can never cross a 2048-byte block.
// Bytes 16..19 say "prototype" until the builder zeroes them.
alignas(32) volatile unsigned char gMarkerRecord[exe::kMarkerRecordSize] = {
    'B', 'R', 'X', 'T', 'E', 'X', 'E', 'H',  // S replaces the first four
    'V', 'F', 'R', 'M', 1,   0,   0,   0,    // layout tag and version
    'P', 'R', 'O', 'T'};

alignas(16) constinit volatile IconImage gIconImage = makeViewerIcon();

}  // namespace

std::array<unsigned char, exe::kMarkerRecordSize> markerRecord() {
  std::array<unsigned char, exe::kMarkerRecordSize> record{};
  for (std::size_t i = 0; i < record.size(); ++i) record[i] = gMarkerRecord[i];
  return record;
}

IconImage iconImage() {
  IconImage image{};
  for (std::size_t i = 0; i < kIconImageSize; ++i) image.bytes[i] = gIconImage.bytes[i];
  return image;
}

}  // namespace vantrel::viewer
