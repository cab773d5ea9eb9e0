#include "icon/RenderIcon.h"

#include <limits>

#include "base/FailureKinds.h"
#include "icon/BitmapFile.h"

namespace vantrel {

IconGeometry iconGeometry(std::int64_t pictureWidth, std::int64_t pictureHeight) {
  checkPictureSize(pictureWidth, pictureHeight, std::numeric_limits<std::int64_t>::max());
  IconGeometry geometry;
  geometry.width = kIconSize;
  geometry.height = pictureHeight * kIconSize / pictureWidth;
  if (geometry.height < kIconSize) {
    geometry.height = kIconSize;
    geometry.width = pictureWidth * kIconSize / pictureHeight;
  }
  geometry.x = (kIconSize - geometry.width) / 2;
  geometry.y = (kIconSize - geometry.height) / 2;
  return geometry;
}

namespace {

std::uint8_t overWhite(std::uint8_t channel, std::uint8_t alpha) {
  return static_cast<std::uint8_t>((channel * alpha + 255 * (255 - alpha) + 127) / 255);
}

// The work bitmap pixel that covers icon pixel `target` along one axis.
std::int64_t sourceOf(int target, std::int64_t offset, std::int64_t stretched, std::int64_t size) {
  return (target - offset) * size / stretched;
}

}  // namespace

std::uint8_t workBitmapIndex(const Picture& picture, int x, int y) {
  const std::size_t at = picture.offsetOf(x, y);
  const std::uint8_t alpha = picture.rgba.at(at + 3);
  return nearestIconPaletteIndex({overWhite(picture.rgba[at], alpha),
                                  overWhite(picture.rgba[at + 1], alpha),
                                  overWhite(picture.rgba[at + 2], alpha)});
}

IconBitmap renderIconBitmap(const Picture& picture) {
  checkPictureSize(picture.width, picture.height);
  if (picture.rgba.size() !=
      static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) * 4) {
    throw PictureError(failure(PictureFailure::PixelsDoNotMatchSize));
  }
  const IconGeometry geometry = iconGeometry(picture.width, picture.height);
  // Only the 32 x 32 work bitmap pixels that the stretch takes are reduced to the palette; the
  // reduction works pixel by pixel, so the result equals reducing the whole work bitmap first.
  IconBitmap icon = createIconBitmap();
  for (int row = 0; row < kIconSize; ++row) {
    const auto sourceRow =
        static_cast<int>(sourceOf(row, geometry.y, geometry.height, picture.height));
    for (int column = 0; column < kIconSize; ++column) {
      const auto sourceColumn =
          static_cast<int>(sourceOf(column, geometry.x, geometry.width, picture.width));
      icon.pixels[static_cast<std::size_t>(row) * kIconSize + static_cast<std::size_t>(column)] =
          workBitmapIndex(picture, sourceColumn, sourceRow);
    }
  }
  return icon;
}

IconBitmap RenderIcon(const Picture& picture, const std::filesystem::path& iconFilePath) {
  IconBitmap icon = renderIconBitmap(picture);
  saveBitmapFile(iconFilePath, icon);
  return icon;
}

}  // namespace vantrel
