#pragma once
// The icon of the built program: normally a 32 x 32 picture of 16 colours, 4 bits per pixel.
//
// An IconBitmap loaded from a bitmap file that the tool did not write keeps that file's own size
// and depth, so it is drawn as the user saved it:
//   - 1, 4 and 8 bits per pixel: `palette` holds the file's colour table and `pixels` one
//     palette index per pixel;
//   - 16, 24 and 32 bits per pixel: `palette` and `pixels` stay empty and `colours` holds one
//     colour per pixel (an alpha channel of a 32-bit file is not kept).
// Rows run from the top (row 0) to the bottom in both cases.

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

inline constexpr int kIconSize = 32;
inline constexpr int kIconBitsPerPixel = 4;

struct IconBitmap {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
  std::vector<Rgb> palette;
  // Depths up to 8 bits: one palette index per pixel, rows from the top.
  std::vector<std::uint8_t> pixels;
  // Depths over 8 bits: one colour per pixel, rows from the top.
  std::vector<Rgb> colours;

  [[nodiscard]] bool isIndexed() const { return bitsPerPixel <= 8; }
  // True for the shape the tool itself makes: 32 x 32, 4 bits per pixel.
  [[nodiscard]] bool isStandardShape() const {
    return width == kIconSize && height == kIconSize && bitsPerPixel == kIconBitsPerPixel;
  }

  [[nodiscard]] std::uint8_t pixel(int x, int y) const { return pixels.at(offsetOf(x, y)); }
  // The colour shown at (x, y), whatever the depth.
  [[nodiscard]] Rgb colourAt(int x, int y) const;

  bool operator==(const IconBitmap&) const = default;

 private:
  [[nodiscard]] std::size_t offsetOf(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
           static_cast<std::size_t>(x);
  }
};

// A new 32 x 32, 4-bit bitmap with IconPalette, every pixel black.
IconBitmap createIconBitmap();

// The IconPalette index whose colour is nearest to `colour`: the smallest sum of the squared
// differences of red, green and blue; on a tie the lower index wins.
std::uint8_t nearestIconPaletteIndex(Rgb colour);

}  // namespace vantrel
