#include "icon/BitmapFile.h"

#include <bit>
#include <cstdint>

#include "base/ByteFile.h"
#include "base/FailureKinds.h"

namespace vantrel {

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kCompressionNone = 0;   // BI_RGB
constexpr std::uint32_t kCompressionMasks = 3;  // BI_BITFIELDS

[[noreturn]] void invalid(const std::string& why) {
  throw PictureError(failure(PictureFailure::BitmapNotValid, why));
}

std::uint64_t rowBytes(std::uint64_t width, int bitsPerPixel) {
  return (width * static_cast<std::uint64_t>(bitsPerPixel) + 31) / 32 * 4;
}

// ---------------------------------------------------------------------------------------------
// Writing

void putUint16(std::string& out, std::uint32_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void putUint32(std::string& out, std::uint32_t value) {
  putUint16(out, value & 0xFFFF);
  putUint16(out, value >> 16);
}

void checkWritable(const IconBitmap& bitmap) {
  const int depth = bitmap.bitsPerPixel;
  if (depth != 1 && depth != 4 && depth != 8 && depth != 24 && depth != 32) {
    throw PictureError(failure(PictureFailure::BitmapDepthNotWritable, depth));
  }
  checkPictureSize(bitmap.width, bitmap.height);
  const auto count =
      static_cast<std::size_t>(bitmap.width) * static_cast<std::size_t>(bitmap.height);
  if (bitmap.isIndexed()) {
    if (bitmap.palette.empty() || bitmap.palette.size() > (std::size_t{1} << depth) ||
        bitmap.pixels.size() != count) {
      throw PictureError(failure(PictureFailure::BitmapTableDoesNotMatch));
    }
    for (const std::uint8_t index : bitmap.pixels) {
      if (index >= bitmap.palette.size())
        throw PictureError(failure(PictureFailure::BitmapPixelOutsideTable));
    }
  } else if (bitmap.colours.size() != count) {
    throw PictureError(failure(PictureFailure::BitmapPixelsDoNotMatch));
  }
}

void putRow(std::string& out, const IconBitmap& bitmap, int y, std::uint64_t stride) {
  const std::size_t start = out.size();
  const int depth = bitmap.bitsPerPixel;
  if (bitmap.isIndexed()) {
    const int perByte = 8 / depth;
    for (int x = 0; x < bitmap.width; x += perByte) {
      unsigned byte = 0;
      for (int k = 0; k < perByte; ++k) {
        const unsigned index = x + k < bitmap.width ? bitmap.pixel(x + k, y) : 0;
        byte |= index << (8 - depth * (k + 1));  // the leftmost pixel in the highest bits
      }
      out.push_back(static_cast<char>(byte));
    }
  } else {
    for (int x = 0; x < bitmap.width; ++x) {
      const Rgb colour = bitmap.colourAt(x, y);
      out.push_back(static_cast<char>(colour.blue));
      out.push_back(static_cast<char>(colour.green));
      out.push_back(static_cast<char>(colour.red));
      if (depth == 32) out.push_back('\0');
    }
  }
  out.resize(start + stride, '\0');
}

// ---------------------------------------------------------------------------------------------
// Reading

std::uint32_t uint16At(std::string_view bytes, std::uint64_t at) {
  return static_cast<std::uint8_t>(bytes[at]) |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 1])) << 8;
}

std::uint32_t uint32At(std::string_view bytes, std::uint64_t at) {
  return uint16At(bytes, at) | uint16At(bytes, at + 2) << 16;
}

struct Header {
  std::uint64_t pixelOffset = 0;
  std::uint32_t infoSize = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;  // always positive here
  bool topDown = false;
  int bitsPerPixel = 0;
  std::uint32_t compression = 0;
  std::uint64_t paletteOffset = 0;
  std::uint64_t paletteEntries = 0;
  std::uint32_t masks[3] = {0, 0, 0};  // red, green, blue
};

// One channel described by a colour mask: where its bits start and how many there are.
struct Channel {
  int shift = 0;
  int bits = 0;
  [[nodiscard]] std::uint8_t from(std::uint32_t value, std::uint32_t mask) const {
    // 64-bit, since a mask may cover all 32 bits.
    const std::uint64_t level = (value & mask) >> shift;
    const std::uint64_t top = (std::uint64_t{1} << bits) - 1;
    return static_cast<std::uint8_t>((level * 255 + top / 2) / top);
  }
};

Channel channelOf(std::uint32_t mask, int depth) {
  if (mask == 0) invalid("a colour mask is empty");
  if (depth == 16 && mask > 0xFFFF) invalid("a colour mask reaches beyond the pixel");
  const int shift = std::countr_zero(mask);
  const std::uint32_t bits = mask >> shift;
  if ((bits & (bits + 1)) != 0) invalid("a colour mask is not one run of bits");
  return {shift, std::popcount(bits)};
}

Header readHeader(std::string_view bytes, std::int64_t maxPixels) {
  const std::uint64_t length = bytes.size();
  if (length < kFileHeaderSize + 4) invalid("the file is too short");
  if (bytes[0] != 'B' || bytes[1] != 'M') invalid("it does not begin with \"BM\"");
  const std::uint32_t declaredSize = uint32At(bytes, 2);
  if (declaredSize != 0 && declaredSize > length)
    invalid("the file is shorter than its header says");
  // Bytes 6 to 9 are reserved; readers ignore them.
  Header header;
  header.pixelOffset = uint32At(bytes, 10);

  header.infoSize = uint32At(bytes, 14);
  if (header.infoSize != 40 && header.infoSize != 52 && header.infoSize != 56 &&
      header.infoSize != 108 && header.infoSize != 124) {
    invalid("its information header has an unknown size (" + std::to_string(header.infoSize) + ")");
  }
  if (length < kFileHeaderSize + header.infoSize)
    invalid("the information header runs past the end of the file");
  const std::uint64_t info = kFileHeaderSize;
  header.width = static_cast<std::int32_t>(uint32At(bytes, info + 4));
  const std::int64_t height = static_cast<std::int32_t>(uint32At(bytes, info + 8));
  header.topDown = height < 0;
  header.height = height < 0 ? -height : height;
  checkPictureSize(header.width, header.height, maxPixels);
  if (uint16At(bytes, info + 12) != 1) invalid("the number of planes is not 1");
  header.bitsPerPixel = static_cast<int>(uint16At(bytes, info + 14));
  const int depth = header.bitsPerPixel;
  if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32) {
    invalid("it has " + std::to_string(depth) + " bits per pixel");
  }
  header.compression = uint32At(bytes, info + 16);
  const bool masked = header.compression == kCompressionMasks && (depth == 16 || depth == 32);
  if (header.compression != kCompressionNone && !masked)
    invalid("its compression is not supported");
  if (header.topDown && header.compression != kCompressionNone && !masked)
    invalid("a top-down bitmap is compressed");
  // Bytes 20 to 35: the image size and the resolution, which describe nothing we need; the
  // real extent of the pixels is checked below.
  const std::uint32_t coloursUsed = uint32At(bytes, info + 32);
  // Byte 36, the number of important colours, is only a hint for displays.

  std::uint64_t afterHeader = kFileHeaderSize + header.infoSize;
  if (masked) {
    // A 40-byte header is followed by the three masks; larger headers hold them.
    const std::uint64_t maskOffset = header.infoSize == kInfoHeaderSize ? afterHeader : info + 40;
    if (maskOffset + 12 > length) invalid("the colour masks run past the end of the file");
    for (int k = 0; k < 3; ++k)
      header.masks[k] = uint32At(bytes, maskOffset + 4 * static_cast<std::uint64_t>(k));
    if (header.infoSize == kInfoHeaderSize) afterHeader += 12;
  } else if (depth == 16) {
    header.masks[0] = 0x7C00;
    header.masks[1] = 0x03E0;
    header.masks[2] = 0x001F;
  } else if (depth == 32) {
    header.masks[0] = 0x00FF0000;
    header.masks[1] = 0x0000FF00;
    header.masks[2] = 0x000000FF;
  }

  header.paletteOffset = afterHeader;
  if (depth <= 8) {
    const std::uint64_t most = std::uint64_t{1} << depth;
    if (coloursUsed > most) invalid("its colour table has more entries than its depth allows");
    header.paletteEntries = coloursUsed == 0 ? most : coloursUsed;
  } else {
    header.paletteEntries = coloursUsed;  // optional, for displays of fewer colours; skipped
  }
  const std::uint64_t paletteEnd = header.paletteOffset + 4 * header.paletteEntries;
  if (paletteEnd > length) invalid("the colour table runs past the end of the file");
  if (header.pixelOffset < paletteEnd) invalid("the pixels overlap the headers");
  const std::uint64_t pixelBytes = rowBytes(static_cast<std::uint64_t>(header.width), depth) *
                                   static_cast<std::uint64_t>(header.height);
  if (header.pixelOffset > length || pixelBytes > length - header.pixelOffset) {
    invalid("the pixels run past the end of the file");
  }
  return header;
}

IconBitmap readIndexed(std::string_view bytes, const Header& header) {
  IconBitmap bitmap;
  bitmap.width = static_cast<int>(header.width);
  bitmap.height = static_cast<int>(header.height);
  bitmap.bitsPerPixel = header.bitsPerPixel;
  for (std::uint64_t k = 0; k < header.paletteEntries; ++k) {
    const std::uint64_t at = header.paletteOffset + 4 * k;
    bitmap.palette.push_back({static_cast<std::uint8_t>(bytes[at + 2]),
                              static_cast<std::uint8_t>(bytes[at + 1]),
                              static_cast<std::uint8_t>(bytes[at])});
  }
  bitmap.pixels.resize(static_cast<std::size_t>(header.width * header.height));
  const int depth = header.bitsPerPixel;
  const unsigned valueMask = (1u << depth) - 1;
  const std::uint64_t stride = rowBytes(static_cast<std::uint64_t>(header.width), depth);
  for (std::int64_t row = 0; row < header.height; ++row) {
    const std::int64_t y = header.topDown ? row : header.height - 1 - row;
    const std::uint64_t rowStart = header.pixelOffset + static_cast<std::uint64_t>(row) * stride;
    for (std::int64_t x = 0; x < header.width; ++x) {
      const std::uint64_t bit = static_cast<std::uint64_t>(x) * static_cast<std::uint64_t>(depth);
      const auto byte = static_cast<std::uint8_t>(bytes[rowStart + bit / 8]);
      const unsigned index = (byte >> (8 - depth - bit % 8)) & valueMask;
      if (index >= header.paletteEntries) invalid("a pixel lies outside the colour table");
      bitmap.pixels[static_cast<std::size_t>(y * header.width + x)] =
          static_cast<std::uint8_t>(index);
    }
  }
  return bitmap;
}

IconBitmap readTrueColour(std::string_view bytes, const Header& header) {
  IconBitmap bitmap;
  bitmap.width = static_cast<int>(header.width);
  bitmap.height = static_cast<int>(header.height);
  bitmap.bitsPerPixel = header.bitsPerPixel;
  bitmap.colours.resize(static_cast<std::size_t>(header.width * header.height));
  const int depth = header.bitsPerPixel;
  const std::uint64_t pixelSize = static_cast<std::uint64_t>(depth) / 8;
  const std::uint64_t stride = rowBytes(static_cast<std::uint64_t>(header.width), depth);
  Channel channels[3];
  if (depth != 24) {
    for (int k = 0; k < 3; ++k) channels[k] = channelOf(header.masks[k], depth);
  }
  for (std::int64_t row = 0; row < header.height; ++row) {
    const std::int64_t y = header.topDown ? row : header.height - 1 - row;
    const std::uint64_t rowStart = header.pixelOffset + static_cast<std::uint64_t>(row) * stride;
    for (std::int64_t x = 0; x < header.width; ++x) {
      const std::uint64_t at = rowStart + static_cast<std::uint64_t>(x) * pixelSize;
      Rgb colour;
      if (depth == 24) {
        colour = {static_cast<std::uint8_t>(bytes[at + 2]),
                  static_cast<std::uint8_t>(bytes[at + 1]), static_cast<std::uint8_t>(bytes[at])};
      } else {
        const std::uint32_t value = depth == 16 ? uint16At(bytes, at) : uint32At(bytes, at);
        colour = {channels[0].from(value, header.masks[0]),
                  channels[1].from(value, header.masks[1]),
                  channels[2].from(value, header.masks[2])};
      }
      bitmap.colours[static_cast<std::size_t>(y * header.width + x)] = colour;
    }
  }
  return bitmap;
}

// Header, colour masks and table, then the pixels of the largest bitmap we load.
constexpr std::uint64_t kMaxBitmapFileBytes =
    1024 + 4 * static_cast<std::uint64_t>(kMaxPicturePixels);

}  // namespace

std::string encodeBitmapFile(const IconBitmap& bitmap) {
  checkWritable(bitmap);
  const std::uint64_t stride =
      rowBytes(static_cast<std::uint64_t>(bitmap.width), bitmap.bitsPerPixel);
  const std::uint64_t imageSize = stride * static_cast<std::uint64_t>(bitmap.height);
  const std::uint64_t paletteSize =
      4 * static_cast<std::uint64_t>(bitmap.isIndexed() ? bitmap.palette.size() : 0);
  const std::uint64_t pixelOffset = kFileHeaderSize + kInfoHeaderSize + paletteSize;
  const std::uint64_t fileSize = pixelOffset + imageSize;
  if (fileSize > 0xFFFFFFFFu) throw PictureError(failure(PictureFailure::BitmapTooLargeForFile));

  std::string out;
  out.reserve(static_cast<std::size_t>(fileSize));
  // File header.
  out += "BM";
  putUint32(out, static_cast<std::uint32_t>(fileSize));
  putUint32(out, 0);  // reserved
  putUint32(out, static_cast<std::uint32_t>(pixelOffset));
  // Information header: positive height, so the rows are stored bottom-up.
  putUint32(out, kInfoHeaderSize);
  putUint32(out, static_cast<std::uint32_t>(bitmap.width));
  putUint32(out, static_cast<std::uint32_t>(bitmap.height));
  putUint16(out, 1);  // planes
  putUint16(out, static_cast<std::uint32_t>(bitmap.bitsPerPixel));
  putUint32(out, kCompressionNone);
  putUint32(out, static_cast<std::uint32_t>(imageSize));
  putUint32(out, 0);  // horizontal resolution: not stated
  putUint32(out, 0);  // vertical resolution: not stated
  putUint32(out, static_cast<std::uint32_t>(paletteSize / 4));
  putUint32(out, 0);  // all colours are important
  // Colour table: blue, green, red, zero.
  if (bitmap.isIndexed()) {
    for (const Rgb& colour : bitmap.palette) {
      out.push_back(static_cast<char>(colour.blue));
      out.push_back(static_cast<char>(colour.green));
      out.push_back(static_cast<char>(colour.red));
      out.push_back('\0');
    }
  }
  for (int y = bitmap.height - 1; y >= 0; --y) putRow(out, bitmap, y, stride);
  return out;
}

IconBitmap decodeBitmapFile(std::string_view bytes, std::int64_t maxPixels) {
  const Header header = readHeader(bytes, maxPixels);
  return header.bitsPerPixel <= 8 ? readIndexed(bytes, header) : readTrueColour(bytes, header);
}

void saveBitmapFile(const std::filesystem::path& path, const IconBitmap& bitmap) {
  const std::string bytes = encodeBitmapFile(bitmap);
  replaceFile(path, [&](ByteWriter& writer) { writer.write(bytes); });
}

IconBitmap loadBitmapFile(const std::filesystem::path& path) {
  FileReader reader(path);
  if (reader.remaining() > kMaxBitmapFileBytes)
    invalid("the file is larger than any bitmap we load");
  const std::string bytes = readBytes(reader, reader.remaining());
  return decodeBitmapFile(bytes);
}

}  // namespace vantrel
