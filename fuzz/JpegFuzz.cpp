// Fuzzes the JPEG loader (libjpeg called directly) over arbitrary bytes: no crash, no leak, no
// allocation beyond the pixel bound; a picture that loads renders to an icon.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "icon/RenderIcon.h"
#include "icon/loaders/JpegPicture.h"

namespace {

constexpr std::int64_t kFuzzMaxPixels = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    const vantrel::Picture picture = vantrel::decodeJpeg(bytes, kFuzzMaxPixels);
    (void)vantrel::renderIconBitmap(picture);
  } catch (const vantrel::PictureError&) {
  }
  return 0;
}
