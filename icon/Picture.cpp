#include "icon/Picture.h"

#include "base/FailureKinds.h"

namespace vantrel {

void checkPictureSize(std::int64_t width, std::int64_t height, std::int64_t maxPixels) {
  if (width <= 0 || height <= 0) {
    throw PictureError(failure(PictureFailure::NoPixels, width, height));
  }
  // Divided rather than multiplied, so that no product can overflow.
  if (width > maxPixels || height > maxPixels / width) {
    throw PictureError(failure(PictureFailure::TooLarge, width, height, maxPixels));
  }
}

Picture makePicture(int width, int height, std::int64_t maxPixels) {
  checkPictureSize(width, height, maxPixels);
  Picture picture;
  picture.width = width;
  picture.height = height;
  picture.rgba.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
  return picture;
}

void setOpaquePixel(Picture& picture, int x, int y, std::uint8_t red, std::uint8_t green,
                    std::uint8_t blue) {
  const std::size_t at = picture.offsetOf(x, y);
  picture.rgba[at] = red;
  picture.rgba[at + 1] = green;
  picture.rgba[at + 2] = blue;
  picture.rgba[at + 3] = 255;
}

}  // namespace vantrel
