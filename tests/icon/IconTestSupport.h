#pragma once
// Small helpers shared by the icon tests: pictures painted in IconPalette colours, temporary
// folders and whole-file reads.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "icon/IconBitmap.h"
#include "icon/Picture.h"

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

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-icon-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace vantrel::test
