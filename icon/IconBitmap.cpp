#include "icon/IconBitmap.h"

#include <limits>
#include <stdexcept>

namespace vantrel {

const std::array<Rgb, 16> IconPalette = {{
    {0, 0, 0},
    {128, 0, 0},
    {0, 128, 0},
    {128, 128, 0},
    {0, 0, 128},
    {128, 0, 128},
    {0, 128, 128},
    {128, 128, 128},
    {192, 192, 192},
    {255, 0, 0},
    {0, 255, 0},
    {255, 255, 0},
    {0, 0, 255},
    {255, 0, 255},
    {0, 255, 255},
    {255, 255, 255},
}};

Rgb IconBitmap::colourAt(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height)
    throw std::out_of_range("pixel outside the bitmap");
  if (!isIndexed()) return colours.at(offsetOf(x, y));
  return palette.at(pixel(x, y));
}

IconBitmap createIconBitmap() {
  IconBitmap bitmap;
  bitmap.width = kIconSize;
  bitmap.height = kIconSize;
  bitmap.bitsPerPixel = kIconBitsPerPixel;
  bitmap.palette.assign(IconPalette.begin(), IconPalette.end());
  bitmap.pixels.assign(std::size_t{kIconSize} * kIconSize, 0);
  return bitmap;
}

std::uint8_t nearestIconPaletteIndex(Rgb colour) {
  int best = 0;
  int bestDistance = std::numeric_limits<int>::max();
  for (int index = 0; index < static_cast<int>(IconPalette.size()); ++index) {
    const Rgb& entry = IconPalette[static_cast<std::size_t>(index)];
    const int red = colour.red - entry.red;
    const int green = colour.green - entry.green;
    const int blue = colour.blue - entry.blue;
    const int distance = red * red + green * green + blue * blue;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = index;
    }
  }
  return static_cast<std::uint8_t>(best);
}

}  // namespace vantrel
