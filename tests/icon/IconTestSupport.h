#pragma once
// Small helpers shared by the icon tests: pictures painted in IconPalette colours and whole-file
// reads and writes; temporary folders come from tests/support.

#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "icon/IconBitmap.h"
#include "icon/Picture.h"
#include "tests/support/TempFolder.h"

namespace vantrel::test {

// A picture whose pixel (x, y) is IconPalette[indexAt(x, y)], fully opaque.
inline Picture palettePicture(int width, int height, const std::function<int(int, int)>& indexAt) {
  Picture picture = makePicture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgb colour = IconPalette.at(static_cast<std::size_t>(indexAt(x, y)));
      setOpaquePixel(picture, x, y, colour.red, colour.green, colour.blue);
    }
  }
  return picture;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace vantrel::test
