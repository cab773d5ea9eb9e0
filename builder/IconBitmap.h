#pragma once
// The icon of the built program: a 32 x 32 picture of 16 colours, 4 bits per pixel.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrel {

struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  bool operator==(const Rgb&) const = default;
};

// The colour table of the icon; index 7 is the dark grey, index 8 the light grey.
extern const std::array<Rgb, 16> IconPalette;

struct IconBitmap {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
  std::vector<Rgb> palette;
  // One palette index per pixel, rows from the top.
  std::vector<std::uint8_t> pixels;

  std::uint8_t pixel(int x, int y) const {
    return pixels.at(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x));
  }
  bool operator==(const IconBitmap&) const = default;
};

// A new 32 x 32, 4-bit bitmap with IconPalette, every pixel black.
IconBitmap createIconBitmap();

}  // namespace vantrel
