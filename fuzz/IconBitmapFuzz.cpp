// Fuzzes the reader of icon bitmap files ("theicon.bmp") over arbitrary bytes. Beyond "no
// crash, no leak": a bitmap that loads and can be written reads back the same, and its icon
// pixel block can always be made.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "icon/BitmapFile.h"
#include "icon/IconPos.h"

namespace {

// Small enough that the fuzzer's memory limit is never the finding.
constexpr std::int64_t kFuzzMaxPixels = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  vantrel::IconBitmap bitmap;
  try {
    bitmap = vantrel::decodeBitmapFile(bytes, kFuzzMaxPixels);
  } catch (const vantrel::PictureError&) {
    return 0;
  }
  (void)vantrel::iconPixelBlock(bitmap);
  if (bitmap.bitsPerPixel == 16) return 0;  // read, but never written
  const vantrel::IconBitmap again =
      vantrel::decodeBitmapFile(vantrel::encodeBitmapFile(bitmap), kFuzzMaxPixels);
  if (!(again == bitmap)) std::abort();
  return 0;
}
