#pragma once
// Making the icon from any picture: the picture is drawn onto a white work bitmap in the icon's
// 16 colours, then stretched so that it covers the whole 32 x 32 square with its proportions
// kept, and cut at the square.

#include <cstdint>
#include <filesystem>
#include <string>

#include "icon/IconBitmap.h"
#include "icon/Picture.h"

namespace vantrel {

// Where the stretched picture lies over the 32 x 32 square: its size w x h (both at least 32)
// and its top-left corner (x, y) (both 0 or negative).
struct IconGeometry {
  std::int64_t width = 0;
  std::int64_t height = 0;
  std::int64_t x = 0;
  std::int64_t y = 0;
  bool operator==(const IconGeometry&) const = default;
};

// w = 32 and h = H * 32 / W; if h < 32 then h = 32 and w = W * 32 / H; x = (32 - w) / 2 and
// y = (32 - h) / 2, all divisions truncating toward zero. Width and height must be positive.
IconGeometry iconGeometry(std::int64_t pictureWidth, std::int64_t pictureHeight);

// The colour a picture pixel takes on the white work bitmap: blended over white by its alpha
// (each channel (c * a + 255 * (255 - a) + 127) / 255, so a transparent pixel stays white and an
// opaque one keeps its colour), then the nearest IconPalette colour, without dithering.
std::uint8_t workBitmapIndex(const Picture& picture, int x, int y);

// The 32 x 32, 4-bit IconBitmap of a picture. Icon pixel (X, Y) takes the work bitmap pixel
// ((X - x) * W / w, (Y - y) * H / h) (integer division), so rows and columns are dropped or
// repeated and nothing is smoothed. Throws PictureError for a picture without pixels.
IconBitmap renderIconBitmap(const Picture& picture);

// Renders the picture and saves the result as the icon bitmap file `iconFilePath`, replacing it
// only once the new file is complete. Returns the new IconBitmap; when anything throws, the
// file is as it was and the caller keeps its old IconBitmap.
IconBitmap RenderIcon(const Picture& picture, const std::filesystem::path& iconFilePath);

}  // namespace vantrel
