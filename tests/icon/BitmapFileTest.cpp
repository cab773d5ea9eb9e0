#include <gtest/gtest.h>

#include <cstring>

#include "base/ByteFile.h"
#include "icon/BitmapFile.h"
#include "icon/RenderIcon.h"
#include "icon/StandardIcon.h"
#include "tests/icon/IconTestSupport.h"

namespace vantrel {
namespace {

std::uint32_t u32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int k = 3; k >= 0; --k)
    value = value << 8 | static_cast<std::uint8_t>(bytes.at(at + static_cast<std::size_t>(k)));
  return value;
}
std::uint32_t u16(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint8_t>(bytes.at(at)) | static_cast<std::uint8_t>(bytes.at(at + 1)) << 8;
}
void put32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int k = 0; k < 4; ++k)
    bytes.at(at + static_cast<std::size_t>(k)) = static_cast<char>(value >> (8 * k));
}
void put16(std::string& bytes, std::size_t at, std::uint32_t value) {
  bytes.at(at) = static_cast<char>(value);
  bytes.at(at + 1) = static_cast<char>(value >> 8);
}

IconBitmap patternIcon() {
  IconBitmap icon = createIconBitmap();
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x)
      icon.pixels[static_cast<std::size_t>(y * 32 + x)] =
          static_cast<std::uint8_t>((3 * x + y) % 16);
  }
  return icon;
}

IconBitmap indexedBitmap(int width, int height, int depth) {
  IconBitmap bitmap;
  bitmap.width = width;
  bitmap.height = height;
  bitmap.bitsPerPixel = depth;
  const int colours = 1 << depth;
  for (int k = 0; k < colours; ++k) {
    bitmap.palette.push_back({static_cast<std::uint8_t>(k * 7), static_cast<std::uint8_t>(255 - k),
                              static_cast<std::uint8_t>(k * 3)});
  }
  for (int k = 0; k < width * height; ++k)
    bitmap.pixels.push_back(static_cast<std::uint8_t>((k * 5 + k / width) % colours));
  return bitmap;
}

IconBitmap trueColourBitmap(int width, int height, int depth) {
  IconBitmap bitmap;
  bitmap.width = width;
  bitmap.height = height;
  bitmap.bitsPerPixel = depth;
  for (int k = 0; k < width * height; ++k) {
    bitmap.colours.push_back({static_cast<std::uint8_t>(k * 13),
                              static_cast<std::uint8_t>(k * 7 + 1),
                              static_cast<std::uint8_t>(255 - k)});
  }
  return bitmap;
}

TEST(BitmapFile, IconFileHasTheLayoutOfA16ColourBitmap) {
  const IconBitmap icon = patternIcon();
  const std::string file = encodeBitmapFile(icon);
  ASSERT_EQ(file.size(), 630u);
  EXPECT_EQ(file.substr(0, 2), "BM");
  EXPECT_EQ(u32(file, 2), 630u);
  EXPECT_EQ(u32(file, 6), 0u);
  EXPECT_EQ(u32(file, 10), 118u);  // 14 + 40 + 64
  EXPECT_EQ(u32(file, 14), 40u);
  EXPECT_EQ(u32(file, 18), 32u);
  EXPECT_EQ(u32(file, 22), 32u);  // positive: bottom-up
  EXPECT_EQ(u16(file, 26), 1u);
  EXPECT_EQ(u16(file, 28), 4u);
  EXPECT_EQ(u32(file, 30), 0u);
  EXPECT_EQ(u32(file, 34), 512u);
  EXPECT_EQ(u32(file, 46), 16u);
  // Colour table: blue, green, red, 0, in IconPalette order.
  for (std::size_t k = 0; k < 16; ++k) {
    const std::size_t at = 54 + 4 * k;
    EXPECT_EQ(Rgb({static_cast<std::uint8_t>(file[at + 2]), static_cast<std::uint8_t>(file[at + 1]),
                   static_cast<std::uint8_t>(file[at])}),
              IconPalette[k]);
    EXPECT_EQ(file[at + 3], '\0');
  }
  // First stored row is the bottom row; left pixel in the high bits.
  const auto first = static_cast<std::uint8_t>(file[118]);
  EXPECT_EQ(first >> 4, icon.pixel(0, 31));
  EXPECT_EQ(first & 0x0F, icon.pixel(1, 31));
  const auto last = static_cast<std::uint8_t>(file[629]);
  EXPECT_EQ(last >> 4, icon.pixel(30, 0));
  EXPECT_EQ(last & 0x0F, icon.pixel(31, 0));
}

TEST(BitmapFile, EveryWritableDepthReadsBackTheSame) {
  for (const int depth : {1, 4, 8}) {
    for (const int width : {1, 3, 7, 9, 33}) {
      const IconBitmap bitmap = indexedBitmap(width, 5, depth);
      EXPECT_EQ(decodeBitmapFile(encodeBitmapFile(bitmap)), bitmap)
          << depth << " bits, width " << width;
    }
  }
  for (const int depth : {24, 32}) {
    for (const int width : {1, 2, 3, 5}) {
      const IconBitmap bitmap = trueColourBitmap(width, 3, depth);
      EXPECT_EQ(decodeBitmapFile(encodeBitmapFile(bitmap)), bitmap)
          << depth << " bits, width " << width;
    }
  }
}

TEST(BitmapFile, ReadsTopDownAndMaskedBitmaps) {
  // Top-down: a negative height, rows stored from the top.
  const IconBitmap bitmap = indexedBitmap(6, 4, 4);
  std::string file = encodeBitmapFile(bitmap);
  put32(file, 22, static_cast<std::uint32_t>(-4));
  const IconBitmap flipped = decodeBitmapFile(file);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 6; ++x) EXPECT_EQ(flipped.pixel(x, y), bitmap.pixel(x, 3 - y));
  }

  // 16 bits, 5-6-5 masks after a 40-byte header: 2 x 1 pixels, pure red and pure green.
  std::string masked = "BM";
  masked.resize(14 + 40 + 12 + 4, '\0');
  put32(masked, 2, static_cast<std::uint32_t>(masked.size()));
  put32(masked, 10, 66);
  put32(masked, 14, 40);
  put32(masked, 18, 2);
  put32(masked, 22, 1);
  put16(masked, 26, 1);
  put16(masked, 28, 16);
  put32(masked, 30, 3);
  put32(masked, 54, 0xF800);
  put32(masked, 58, 0x07E0);
  put32(masked, 62, 0x001F);
  put16(masked, 66, 0xF800);
  put16(masked, 68, 0x07E0);
  const IconBitmap colours = decodeBitmapFile(masked);
  EXPECT_EQ(colours.bitsPerPixel, 16);
  EXPECT_EQ(colours.colourAt(0, 0), (Rgb{255, 0, 0}));
  EXPECT_EQ(colours.colourAt(1, 0), (Rgb{0, 255, 0}));
  put32(masked, 58, 0x0500);  // a mask with a gap
  EXPECT_THROW(decodeBitmapFile(masked), PictureError);
}

TEST(BitmapFile, EveryShortenedFileIsRefused) {
  const std::string file = encodeBitmapFile(patternIcon());
  for (std::size_t length = 0; length < file.size(); ++length) {
    EXPECT_THROW(decodeBitmapFile(std::string_view(file).substr(0, length)), PictureError)
        << length;
  }
}

TEST(BitmapFile, DamagedFieldsAreRefused) {
  const std::string good = encodeBitmapFile(patternIcon());
  const auto refused = [&](const char* what, auto&& damage) {
    std::string file = good;
    damage(file);
    EXPECT_THROW(decodeBitmapFile(file), PictureError) << what;
  };
  refused("magic", [](std::string& f) { f[1] = 'A'; });
  refused("declared size beyond the file", [](std::string& f) { put32(f, 2, 631); });
  refused("pixel offset inside the colour table", [](std::string& f) { put32(f, 10, 100); });
  refused("pixel offset beyond the file", [](std::string& f) { put32(f, 10, 0xFFFFFFF0u); });
  refused("core header", [](std::string& f) { put32(f, 14, 12); });
  refused("zero width", [](std::string& f) { put32(f, 18, 0); });
  refused("negative width", [](std::string& f) { put32(f, 18, static_cast<std::uint32_t>(-32)); });
  refused("zero height", [](std::string& f) { put32(f, 22, 0); });
  refused("huge size", [](std::string& f) {
    put32(f, 18, 0x7FFFFFFF);
    put32(f, 22, 0x7FFFFFFF);
  });
  refused("most negative height", [](std::string& f) { put32(f, 22, 0x80000000u); });
  refused("two planes", [](std::string& f) { put16(f, 26, 2); });
  refused("two bits a pixel", [](std::string& f) { put16(f, 28, 2); });
  refused("run-length compression", [](std::string& f) { put32(f, 30, 2); });
  refused("masks on a 4-bit bitmap", [](std::string& f) { put32(f, 30, 3); });
  refused("more colours than 4 bits hold", [](std::string& f) { put32(f, 46, 17); });
  refused("a pixel outside a short colour table", [](std::string& f) { put32(f, 46, 2); });
  // Width grown by one: the rows no longer fit in the file.
  refused("pixels beyond the end", [](std::string& f) { put32(f, 18, 33); });

  // A declared size of 0 and a short colour table that every pixel respects are fine.
  std::string zeroSize = good;
  put32(zeroSize, 2, 0);
  EXPECT_NO_THROW(decodeBitmapFile(zeroSize));
}

TEST(BitmapFile, FilesAreReplacedWholeAndLoadedBack) {
  test::TempFolder folder;
  const std::string path = folder.file(kIconFileName);
  saveBitmapFile(path, patternIcon());
  EXPECT_EQ(loadBitmapFile(path), patternIcon());

  IconBitmap notWritable = patternIcon();
  notWritable.bitsPerPixel = 16;
  EXPECT_THROW(saveBitmapFile(path, notWritable), PictureError);
  IconBitmap outsideTable = patternIcon();
  outsideTable.palette.resize(4);
  EXPECT_THROW(saveBitmapFile(path, outsideTable), PictureError);
  EXPECT_EQ(loadBitmapFile(path), patternIcon());

  EXPECT_THROW(loadBitmapFile(folder.file("missing.bmp")), CannotOpenFile);
  test::writeFile(folder.file("text.bmp"), "not a bitmap at all");
  EXPECT_THROW(loadBitmapFile(folder.file("text.bmp")), PictureError);
}

TEST(BitmapFile, ReadsBitmapsOfAnotherWriter) {
  // Written by Pillow, with its own reading of every pixel beside each file.
  for (const char* name : {"one-bit", "eight-bit", "true-colour"}) {
    const std::string base = std::string(VANTREL_TEST_DATA_DIR) + "/icon/" + name;
    const IconBitmap bitmap = loadBitmapFile(base + ".bmp");
    const std::string expected = test::readFile(base + ".rgb");
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(bitmap.width * bitmap.height * 3)) << name;
    for (int y = 0; y < bitmap.height; ++y) {
      for (int x = 0; x < bitmap.width; ++x) {
        const std::size_t at = static_cast<std::size_t>((y * bitmap.width + x) * 3);
        const Rgb want{static_cast<std::uint8_t>(expected[at]),
                       static_cast<std::uint8_t>(expected[at + 1]),
                       static_cast<std::uint8_t>(expected[at + 2])};
        ASSERT_EQ(bitmap.colourAt(x, y), want) << name << " " << x << "," << y;
      }
    }
  }
}

TEST(BitmapFile, MaskCoveringAllBitsReadsAsFullChannel) {
  // 32 bits with masks: a mask of all 32 bits must not overflow the scaling.
  std::string file = "BM";
  file.resize(14 + 40 + 12 + 4, '\0');
  put32(file, 10, 66);
  put32(file, 14, 40);
  put32(file, 18, 1);
  put32(file, 22, 1);
  put16(file, 26, 1);
  put16(file, 28, 32);
  put32(file, 30, 3);
  put32(file, 54, 0xFFFFFFFFu);
  put32(file, 58, 0x0000FF00u);
  put32(file, 62, 0x000000FFu);
  put32(file, 66, 0xFFFFFFFFu);
  EXPECT_EQ(decodeBitmapFile(file).colourAt(0, 0), (Rgb{255, 255, 255}));
}

TEST(BitmapFile, AFileOfAnotherSizeAndDepthLoadsAsItIs) {
  const IconBitmap large = trueColourBitmap(48, 20, 24);
  test::TempFolder folder;
  saveBitmapFile(folder.file("large.bmp"), large);
  const IconBitmap loaded = loadBitmapFile(folder.file("large.bmp"));
  EXPECT_EQ(loaded.width, 48);
  EXPECT_EQ(loaded.height, 20);
  EXPECT_EQ(loaded.bitsPerPixel, 24);
  EXPECT_FALSE(loaded.isStandardShape());
  EXPECT_EQ(loaded.colourAt(47, 19), large.colourAt(47, 19));
}

}  // namespace
}  // namespace vantrel
