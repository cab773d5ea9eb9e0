#include "builder/IconBitmap.h"

namespace vantrel {

const std::array<Rgb, 16> IconPalette = {{
    {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
    {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {128, 128, 128},
    {192, 192, 192}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
    {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
}};

IconBitmap createIconBitmap() {
  IconBitmap bitmap;
  bitmap.width = 32;
  bitmap.height = 32;
  bitmap.bitsPerPixel = 4;
  bitmap.palette.assign(IconPalette.begin(), IconPalette.end());
  bitmap.pixels.assign(32 * 32, 0);
  return bitmap;
}

}  // namespace vantrel
