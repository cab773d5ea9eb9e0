#include "icon/StandardIcon.h"

#include <array>
#include <stdexcept>

#include "icon/IconBitmap.h"

namespace vantrel {

namespace {

// One character a pixel: a hexadecimal IconPalette index, or "." where the mask makes the
// icon transparent.
constexpr std::array<const char*, 32> kDrawing = {
    "................................", "...000000000000000..............",
    "...0fffffffffffff70.............", "...0fffffffffffff870............",
    "...0fffffffffffff8870...........", "...0fffffffffffff88870..........",
    "...0fffffffffffff777770.........", "...0ffffffffffffffffff0888......",
    "...0f4444444444444444f0888......", "...0f4cccccccccccccc4f0888......",
    "...0f4444444444444444f0888......", "...0ffffffffffffffffff0888......",
    "...0ffffffffffffffffff0888......", "...0f777777777ffffffff0888......",
    "...0ffffffffffffffffff0888......", "...0f0000000000000000f0888......",
    "...0f0ffffffffffffff0f0888......", "...0f0000000000000000f0888......",
    "...0ffffffffffffffffff0888......", "...0fffffff9ffffffffff0888......",
    "...0f000009fffffffffff0888......", "...0f0fff9ffffffffffff08882.....",
    "...0f09f90ff77777777ff0888a2....", "...0f0f9f0ffffff2222222222aa2...",
    "...0f00000ffffff2aaaaaaaaaaaa2..", "...0ffffffffffff2aaaaaaaaaaaaa2.",
    "...0ffffffffffff2aaaaaaaaaaaaa2.", "...0f7777777777f2aaaaaaaaaaaa2..",
    "...0ffffffffffff2222222222aa2...", "...00000000000000000000888a2....",
    "......888888888888888888882.....", "......88888888888888888888......",
};

int paletteIndexOf(char symbol) {
  if (symbol >= '0' && symbol <= '9') return symbol - '0';
  if (symbol >= 'a' && symbol <= 'f') return symbol - 'a' + 10;
  throw std::logic_error("unknown symbol in the standard icon");
}

Picture drawStandardIcon() {
  Picture picture = makePicture(kIconSize, kIconSize);
  for (int y = 0; y < kIconSize; ++y) {
    for (int x = 0; x < kIconSize; ++x) {
      const char symbol = kDrawing[static_cast<std::size_t>(y)][x];
      if (symbol == '.') continue;  // stays transparent
      const Rgb colour = IconPalette[static_cast<std::size_t>(paletteIndexOf(symbol))];
      setOpaquePixel(picture, x, y, colour.red, colour.green, colour.blue);
    }
  }
  return picture;
}

}  // namespace

const Picture& standardIconPicture() {
  static const Picture picture = drawStandardIcon();
  return picture;
}

}  // namespace vantrel
