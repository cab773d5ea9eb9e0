#pragma once
// A picture as the icon renderer takes it: straight (not premultiplied) RGBA, 8 bits a channel,
// rows from the top. Loaders of every picture format produce this and nothing else.

#include <cstdint>
#include <string>
#include <vector>

#include "base/Error.h"

namespace vantrel {

// A picture file that cannot be loaded or must not be used; what() says why in the loader's
// own words.
class PictureError : public Error {
 public:
  using Error::Error;
};

// No picture file may make us hold more pixels than this (100 MB as RGBA); a larger one is
// refused before any pixel is decoded. A loader holds the decoder's own image beside the
// result and no more; a picture whose two together would pass 256 MB is refused too.
inline constexpr std::int64_t kMaxPicturePixels = 25'000'000;
inline constexpr std::int64_t kMaxDecodingBytes = std::int64_t{256} << 20;

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;  // width * height * 4 bytes: red, green, blue, alpha

  [[nodiscard]] std::size_t offsetOf(int x, int y) const {
    return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
            static_cast<std::size_t>(x)) *
           4;
  }
  bool operator==(const Picture&) const = default;
};

// Throws PictureError for a zero or negative width or height and for more than `maxPixels`.
void checkPictureSize(std::int64_t width, std::int64_t height,
                      std::int64_t maxPixels = kMaxPicturePixels);

// A picture of that size, every pixel transparent black; checks the size first.
Picture makePicture(int width, int height, std::int64_t maxPixels = kMaxPicturePixels);

// Sets one pixel to an opaque colour.
void setOpaquePixel(Picture& picture, int x, int y, std::uint8_t red, std::uint8_t green,
                    std::uint8_t blue);

}  // namespace vantrel
