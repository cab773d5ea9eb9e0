#pragma once
// Small picture files made byte by byte, for formats that Qt cannot write (GIF, metafiles) or
// whose particular features matter (the mask of an icon file).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "icon/IconBitmap.h"

namespace vantrel::test {

class Bytes {
 public:
  Bytes& u8(unsigned value) {
    data_.push_back(static_cast<char>(value & 0xFF));
    return *this;
  }
  Bytes& u16(unsigned value) { return u8(value).u8(value >> 8); }
  Bytes& u32(std::uint32_t value) { return u16(value & 0xFFFF).u16(value >> 16); }
  Bytes& text(const std::string& value) {
    data_ += value;
    return *this;
  }
  Bytes& raw(const std::string& value) { return text(value); }
  std::size_t size() const { return data_.size(); }
  void patch32(std::size_t at, std::uint32_t value) {
    for (int k = 0; k < 4; ++k)
      data_[at + static_cast<std::size_t>(k)] = static_cast<char>(value >> (8 * k));
  }
  void patch16(std::size_t at, unsigned value) {
    data_[at] = static_cast<char>(value);
    data_[at + 1] = static_cast<char>(value >> 8);
  }
  const std::string& str() const { return data_; }

 private:
  std::string data_;
};

// A palette index for each pixel, and whether the pixel is transparent.
using IndexAt = std::function<int(int x, int y)>;
using TransparentAt = std::function<bool(int x, int y)>;

struct IconImage {
  int size = 0;  // square, a multiple of 8
  IndexAt index;
  TransparentAt transparent;
};

// An icon file of 4-bit images in IconPalette, each with its AND mask (1 = transparent).
inline std::string icoFile(const std::vector<IconImage>& images) {
  std::vector<std::string> bodies;
  for (const IconImage& image : images) {
    Bytes body;
    body.u32(40)
        .u32(static_cast<std::uint32_t>(image.size))
        .u32(static_cast<std::uint32_t>(image.size * 2));
    body.u16(1).u16(4).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0);
    for (const Rgb& colour : IconPalette)
      body.u8(colour.blue).u8(colour.green).u8(colour.red).u8(0);
    for (int y = image.size - 1; y >= 0; --y) {  // colour bits, bottom-up
      for (int x = 0; x < image.size; x += 2) {
        body.u8(static_cast<unsigned>(image.index(x, y) << 4 | image.index(x + 1, y)));
      }
      for (int pad = image.size / 2; pad % 4 != 0; ++pad) body.u8(0);
    }
    for (int y = image.size - 1; y >= 0; --y) {  // mask bits, bottom-up
      int written = 0;
      for (int x = 0; x < image.size; x += 8) {
        unsigned byte = 0;
        for (int k = 0; k < 8; ++k) byte |= (image.transparent(x + k, y) ? 1u : 0u) << (7 - k);
        body.u8(byte);
        ++written;
      }
      for (; written % 4 != 0; ++written) body.u8(0);
    }
    bodies.push_back(body.str());
  }
  Bytes file;
  file.u16(0).u16(1).u16(static_cast<unsigned>(images.size()));
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
  for (std::size_t k = 0; k < images.size(); ++k) {
    const unsigned size = static_cast<unsigned>(images[k].size) & 0xFF;
    file.u8(size).u8(size).u8(16).u8(0).u16(1).u16(4);
    file.u32(static_cast<std::uint32_t>(bodies[k].size())).u32(offset);
    offset += static_cast<std::uint32_t>(bodies[k].size());
  }
  for (const std::string& body : bodies) file.raw(body);
  return file.str();
}

// A GIF89a of IconPalette colours; `transparentIndex` (or -1) is the transparent colour.
// The image data is LZW with a clear code before every few literals, so no string table is
// ever needed and the code width stays at 5 bits.
inline std::string gifFile(int width, int height, const IndexAt& index, int transparentIndex) {
  Bytes file;
  file.text("GIF89a")
      .u16(static_cast<unsigned>(width))
      .u16(static_cast<unsigned>(height))
      .u8(0xF3)
      .u8(0)
      .u8(0);
  for (const Rgb& colour : IconPalette) file.u8(colour.red).u8(colour.green).u8(colour.blue);
  if (transparentIndex >= 0) {
    file.u8(0x21).u8(0xF9).u8(4).u8(0x01).u16(0).u8(static_cast<unsigned>(transparentIndex)).u8(0);
  }
  file.u8(0x2C)
      .u16(0)
      .u16(0)
      .u16(static_cast<unsigned>(width))
      .u16(static_cast<unsigned>(height))
      .u8(0);
  file.u8(4);  // minimum code size: 16 colours

  std::string packed;
  std::uint32_t bits = 0;
  int count = 0;
  const auto putCode = [&](unsigned code) {
    bits |= code << count;
    count += 5;
    while (count >= 8) {
      packed.push_back(static_cast<char>(bits & 0xFF));
      bits >>= 8;
      count -= 8;
    }
  };
  constexpr unsigned kClear = 16;
  constexpr unsigned kEnd = 17;
  int sinceClear = 0;
  putCode(kClear);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (sinceClear == 10) {
        putCode(kClear);
        sinceClear = 0;
      }
      putCode(static_cast<unsigned>(index(x, y)));
      ++sinceClear;
    }
  }
  putCode(kEnd);
  if (count > 0) packed.push_back(static_cast<char>(bits & 0xFF));
  for (std::size_t at = 0; at < packed.size(); at += 255) {
    const std::string block = packed.substr(at, 255);
    file.u8(static_cast<unsigned>(block.size())).raw(block);
  }
  file.u8(0).u8(0x3B);
  return file.str();
}

struct FilledRect {
  int left, top, right, bottom;  // right and bottom exclusive
  Rgb colour;
};

// A placeable Windows metafile of `width` x `height` units at 96 units an inch (so as many
// pixels), drawing filled rectangles without outline.
inline std::string wmfFile(int width, int height, const std::vector<FilledRect>& rects) {
  Bytes records;
  const auto record = [&](unsigned function, const std::vector<unsigned>& params) {
    records.u32(static_cast<std::uint32_t>(3 + params.size())).u16(function);
    for (const unsigned param : params) records.u16(param);
  };
  record(0x020B, {0, 0});  // SETWINDOWORG y, x
  record(0x020C,
         {static_cast<unsigned>(height), static_cast<unsigned>(width)});  // SETWINDOWEXT y, x
  record(0x02FA, {5, 0, 0, 0, 0});  // CREATEPENINDIRECT: null pen
  record(0x012D, {0});              // SELECTOBJECT 0
  constexpr unsigned object = 1;    // the slot each brush takes once the previous one is deleted
  for (const FilledRect& rect : rects) {
    const unsigned redGreen = rect.colour.red | rect.colour.green << 8;
    record(0x02FC, {0, redGreen, rect.colour.blue, 0});  // CREATEBRUSHINDIRECT solid
    record(0x012D, {object});
    record(0x041B,
           {static_cast<unsigned>(rect.bottom), static_cast<unsigned>(rect.right),
            static_cast<unsigned>(rect.top), static_cast<unsigned>(rect.left)});  // RECTANGLE
    record(0x01F0, {object});                                                     // DELETEOBJECT
  }
  record(0x0000, {});  // EOF

  Bytes file;
  file.u32(0x9AC6CDD7)
      .u16(0)
      .u16(0)
      .u16(0)
      .u16(static_cast<unsigned>(width))
      .u16(static_cast<unsigned>(height));
  file.u16(96).u32(0);
  unsigned checksum = 0;
  for (std::size_t at = 0; at < 20; at += 2) {
    checksum ^= static_cast<std::uint8_t>(file.str()[at]) |
                static_cast<std::uint8_t>(file.str()[at + 1]) << 8;
  }
  file.u16(checksum);
  const std::size_t words = (18 + records.size()) / 2;
  file.u16(1).u16(9).u16(0x0300).u32(static_cast<std::uint32_t>(words)).u16(2).u32(8).u16(0);
  file.raw(records.str());
  return file.str();
}

// An enhanced metafile whose frame is `width` x `height` pixels at 96 dots per inch, drawing
// filled rectangles without outline.
inline std::string emfFile(int width, int height, const std::vector<FilledRect>& rects) {
  Bytes records;
  std::uint32_t count = 0;
  const auto record = [&](std::uint32_t type, const std::vector<std::uint32_t>& params) {
    records.u32(type).u32(static_cast<std::uint32_t>(8 + 4 * params.size()));
    for (const std::uint32_t param : params) records.u32(param);
    ++count;
  };
  record(37, {0x80000008});  // SELECTOBJECT: the stock null pen
  std::uint32_t handle = 1;
  for (const FilledRect& rect : rects) {
    const std::uint32_t colour = rect.colour.red | rect.colour.green << 8 |
                                 static_cast<std::uint32_t>(rect.colour.blue) << 16;
    record(39, {handle, 0, colour, 0});  // CREATEBRUSHINDIRECT solid
    record(37, {handle});
    // RECTANGLE, inclusive box; with a null pen the fill covers left..right-1 like GDI.
    record(43, {static_cast<std::uint32_t>(rect.left), static_cast<std::uint32_t>(rect.top),
                static_cast<std::uint32_t>(rect.right), static_cast<std::uint32_t>(rect.bottom)});
    record(40, {handle});  // DELETEOBJECT
    ++handle;
  }
  record(14, {0, 16, 20});  // EOF

  const std::uint32_t headerSize = 88;
  const std::uint32_t total = headerSize + static_cast<std::uint32_t>(records.size());
  Bytes file;
  file.u32(1).u32(headerSize);
  file.u32(0)
      .u32(0)
      .u32(static_cast<std::uint32_t>(width - 1))
      .u32(static_cast<std::uint32_t>(height - 1));  // bounds
  // Frame in hundredths of a millimetre: pixels * 2540 / 96.
  file.u32(0)
      .u32(0)
      .u32(static_cast<std::uint32_t>(width * 2540 / 96))
      .u32(static_cast<std::uint32_t>(height * 2540 / 96));
  file.u32(0x464D4520).u32(0x10000).u32(total).u32(count + 1).u16(handle).u16(0);
  file.u32(0).u32(0).u32(0);
  // Reference device: 96 dots per inch.
  file.u32(1920).u32(1080).u32(1920 * 254 / 960).u32(1080 * 254 / 960);
  file.raw(records.str());
  return file.str();
}

}  // namespace vantrel::test
