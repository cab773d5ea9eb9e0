#pragma once
// The viewer's own icon: one 32 x 32 image of 16 colours (the icon colour table, in its order)
// with a transparency mask, laid out as the image of an icon resource:
//
//   offset 0    40   information header (width 32, height 64 = image and mask, 4 bits)
//   offset 40   64   colour table, 16 x (blue, green, red, 0)
//   offset 104  512  pixels, bottom row first, 16 bytes a row, left pixel in the high 4 bits
//   offset 616  128  mask, bottom row first, 4 bytes a row, bit set = transparent
//
// The builder writes a user's icon over the 512 pixel bytes of a built program; the viewer
// therefore draws its window icon from these bytes as they are in its file, at run time.

#include <array>
#include <cstddef>
#include <cstdint>

namespace vantrel::viewer {

inline constexpr int kIconSide = 32;
inline constexpr std::size_t kIconHeaderSize = 40;
inline constexpr std::size_t kIconColourTableSize = 64;
inline constexpr std::size_t kIconPixelOffset = kIconHeaderSize + kIconColourTableSize;  // 104
inline constexpr std::size_t kIconPixelSize = 512;
inline constexpr std::size_t kIconMaskOffset = kIconPixelOffset + kIconPixelSize;  // 616
inline constexpr std::size_t kIconMaskSize = 128;
inline constexpr std::size_t kIconImageSize = kIconMaskOffset + kIconMaskSize;  // 744

struct IconImage {
  unsigned char bytes[kIconImageSize];
};

// Red, green, blue of each colour index; the same table the tool reduces pictures to.
inline constexpr std::uint8_t kIconColours[16][3] = {
    {0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128}, {128, 0, 128},
    {0, 128, 128}, {128, 128, 128}, {192, 192, 192}, {255, 0, 0},     {0, 255, 0}, {255, 255, 0},
    {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255},
};

// A form sheet: heading bar, two text fields, a ticked check box and a send button.
// One character a pixel, rows from the top: a hex digit is a colour index, "." transparent.
inline constexpr const char* kIconArt[kIconSide] = {
    "................................", "....000000000000000000000000....",
    "....0ffffffffffffffffffffff07...", "....0fccccccccccccccccccccf07...",
    "....0fcfffcfffcffcfffcccccf07...", "....0fccccccccccccccccccccf07...",
    "....0ffffffffffffffffffffff07...", "....0f777777fffffffffffffff07...",
    "....0f0000000000000000000ff07...", "....0f0fffffffffffffffff0ff07...",
    "....0f0000000000000000000ff07...", "....0ffffffffffffffffffffff07...",
    "....0f777777777ffffffffffff07...", "....0f0000000000000000000ff07...",
    "....0f0fffffffffffffffff0ff07...", "....0f0fffffffffffffffff0ff07...",
    "....0f0fffffffffffffffff0ff07...", "....0f0000000000000000000ff07...",
    "....0ffffffffffffffffffffff07...", "....0f00000ff777777777fffff07...",
    "....0f0ffa0ff777777ffffffff07...", "....0f0a2f0ffffffffffffffff07...",
    "....0f00000ffffffffffffffff07...", "....0ffffffffffffffffffffff07...",
    "....0ffffffffffff99999999ff07...", "....0ffffffffffff9bbbbbb9ff07...",
    "....0ffffffffffff99999999ff07...", "....0ffffffffffffffffffffff07...",
    "....0ffffffffffffffffffffff07...", "....0ffffffffffffffffffffff07...",
    "....0000000000000000000000007...", ".....777777777777777777777777...",
};

constexpr int iconArtIndex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;  // transparent
}

constexpr void putLE32(unsigned char* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

constexpr IconImage makeViewerIcon() {
  IconImage image{};
  unsigned char* header = image.bytes;
  putLE32(header + 0, 40);             // header size
  putLE32(header + 4, kIconSide);      // width
  putLE32(header + 8, 2 * kIconSide);  // height of image and mask together
  header[12] = 1;                      // planes
  header[14] = 4;                      // bits per pixel
  putLE32(header + 20, kIconPixelSize + kIconMaskSize);
  for (int i = 0; i < 16; ++i) {
    unsigned char* entry = image.bytes + kIconHeaderSize + 4 * i;
    entry[0] = kIconColours[i][2];
    entry[1] = kIconColours[i][1];
    entry[2] = kIconColours[i][0];
  }
  for (int y = 0; y < kIconSide; ++y) {
    const int stored = kIconSide - 1 - y;  // bottom row first
    for (int x = 0; x < kIconSide; ++x) {
      const int index = iconArtIndex(kIconArt[y][x]);
      if (index >= 0) {
        image.bytes[kIconPixelOffset + stored * 16 + x / 2] |=
            static_cast<unsigned char>(x % 2 == 0 ? index << 4 : index);
      } else {
        image.bytes[kIconMaskOffset + stored * 4 + x / 8] |=
            static_cast<unsigned char>(0x80 >> (x % 8));
      }
    }
  }
  return image;
}

// Colour index of a pixel (rows from the top) and whether the mask hides it, read from an
// image laid out as above.
template <typename Bytes>
int iconPixelIndex(const Bytes& bytes, int x, int y) {
  const unsigned char b =
      bytes[kIconPixelOffset + static_cast<std::size_t>(kIconSide - 1 - y) * 16 +
            static_cast<std::size_t>(x / 2)];
  return x % 2 == 0 ? b >> 4 : b & 0x0F;
}
template <typename Bytes>
bool iconPixelHidden(const Bytes& bytes, int x, int y) {
  const unsigned char b = bytes[kIconMaskOffset + static_cast<std::size_t>(kIconSide - 1 - y) * 4 +
                                static_cast<std::size_t>(x / 8)];
  return (b & (0x80 >> (x % 8))) != 0;
}

}  // namespace vantrel::viewer
