#include <gtest/gtest.h>

#include <filesystem>

#include "base/ByteFile.h"
#include "icon/BitmapFile.h"
#include "icon/RenderIcon.h"
#include "icon/StandardIcon.h"
#include "tests/icon/IconTestSupport.h"

namespace vantrel {
namespace {

using test::palettePicture;

// Each source pixel gets a colour from its column (or row), so that the icon shows which
// source column (or row) each of its pixels was taken from.
int columnCode(int x, int) { return x % 16; }
int rowCode(int, int y) { return y % 16; }

TEST(IconGeometry, CoversTheSquareWithProportionsKept) {
  EXPECT_EQ(iconGeometry(64, 64), (IconGeometry{32, 32, 0, 0}));
  EXPECT_EQ(iconGeometry(64, 32), (IconGeometry{64, 32, -16, 0}));
  EXPECT_EQ(iconGeometry(100, 33), (IconGeometry{96, 32, -32, 0}));  // h = 10 at first
  EXPECT_EQ(iconGeometry(33, 32), (IconGeometry{33, 32, 0, 0}));     // (32 - 33) / 2 truncates to 0
  EXPECT_EQ(iconGeometry(32, 65), (IconGeometry{32, 65, 0, -16}));
  EXPECT_EQ(iconGeometry(1, 1), (IconGeometry{32, 32, 0, 0}));
}

TEST(IconGeometry, ExtremeProportionsDoNotOverflow) {
  const IconGeometry wide = iconGeometry(100'000'000, 1);
  EXPECT_EQ(wide.width, 3'200'000'000);
  EXPECT_EQ(wide.x, (32 - 3'200'000'000) / 2);
  EXPECT_THROW(iconGeometry(0, 5), PictureError);
}

TEST(RenderIcon, SixtyFourSquareIsHalvedInBothDirections) {
  const Picture picture = palettePicture(64, 64, [](int x, int y) { return (x / 2 + y / 2) % 16; });
  const IconBitmap icon = renderIconBitmap(picture);
  ASSERT_TRUE(icon.isStandardShape());
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) ASSERT_EQ(icon.pixel(x, y), (x + y) % 16) << x << "," << y;
  }
}

TEST(RenderIcon, WidePictureKeepsTheMiddleColumns) {
  const IconBitmap icon = renderIconBitmap(palettePicture(64, 32, columnCode));
  for (int x = 0; x < 32; ++x) EXPECT_EQ(icon.pixel(x, 7), (x + 16) % 16) << x;
}

TEST(RenderIcon, HundredByThirtyThreeTakesOneSourcePixelPerIconPixel) {
  const IconBitmap columns = renderIconBitmap(palettePicture(100, 33, columnCode));
  const IconBitmap rows = renderIconBitmap(palettePicture(100, 33, rowCode));
  for (int i = 0; i < 32; ++i) {
    EXPECT_EQ(columns.pixel(i, 0), ((i + 32) * 100 / 96) % 16) << i;
    EXPECT_EQ(rows.pixel(0, i), (i * 33 / 32) % 16) << i;
  }
}

TEST(RenderIcon, ThirtyThreeByThirtyTwoLosesOnlyTheRightmostColumn) {
  const IconBitmap icon = renderIconBitmap(
      palettePicture(33, 32, [](int x, int y) { return x == 32 ? 9 : (x + y) % 9; }));
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) ASSERT_EQ(icon.pixel(x, y), (x + y) % 9);
  }
}

TEST(RenderIcon, TallOddOverhangLosesTheBottomRow) {
  // 32 x 33: h = 33, y = 0, so the bottom source row is the one dropped.
  const IconBitmap icon = renderIconBitmap(palettePicture(32, 33, rowCode));
  for (int y = 0; y < 32; ++y) EXPECT_EQ(icon.pixel(3, y), y % 16);
}

TEST(RenderIcon, StandardIconIsCopiedOneToOneWithWhiteWhereTransparent) {
  const Picture& standard = standardIconPicture();
  ASSERT_EQ(standard.width, 32);
  ASSERT_EQ(standard.height, 32);
  const IconBitmap icon = renderIconBitmap(standard);
  int transparent = 0;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const std::size_t at = standard.offsetOf(x, y);
      const std::uint8_t alpha = standard.rgba[at + 3];
      ASSERT_TRUE(alpha == 0 || alpha == 255);
      if (alpha == 0) {
        ++transparent;
        EXPECT_EQ(icon.pixel(x, y), 15);
      } else {
        const Rgb colour{standard.rgba[at], standard.rgba[at + 1], standard.rgba[at + 2]};
        EXPECT_EQ(IconPalette[icon.pixel(x, y)], colour);
      }
    }
  }
  EXPECT_GT(transparent, 100);  // the mask really leaves parts out
  EXPECT_LT(transparent, 600);
}

TEST(RenderIcon, ColoursBecomeTheNearestPaletteColourWithoutDithering) {
  EXPECT_EQ(nearestIconPaletteIndex({128, 128, 128}), 7);  // dark grey is 7 ...
  EXPECT_EQ(nearestIconPaletteIndex({192, 192, 192}), 8);  // ... and light grey 8
  EXPECT_EQ(nearestIconPaletteIndex({170, 170, 170}), 8);
  EXPECT_EQ(nearestIconPaletteIndex({150, 150, 150}), 7);
  EXPECT_EQ(nearestIconPaletteIndex({250, 10, 10}), 9);
  EXPECT_EQ(nearestIconPaletteIndex({100, 0, 0}), 1);
  EXPECT_EQ(nearestIconPaletteIndex({0, 0, 40}), 0);
  // Exactly between black (0) and dark red (1): the lower index wins.
  EXPECT_EQ(nearestIconPaletteIndex({64, 0, 0}), 0);

  // A flat colour stays one flat index: no dither pattern.
  Picture flat = makePicture(8, 8);
  for (std::size_t at = 0; at < flat.rgba.size(); at += 4) {
    flat.rgba[at] = 90;
    flat.rgba[at + 1] = 140;
    flat.rgba[at + 2] = 120;
    flat.rgba[at + 3] = 255;
  }
  const IconBitmap icon = renderIconBitmap(flat);
  for (const std::uint8_t index : icon.pixels) EXPECT_EQ(index, icon.pixels[0]);
  EXPECT_EQ(icon.pixels[0], nearestIconPaletteIndex({90, 140, 120}));
}

TEST(RenderIcon, AlphaBlendsOverWhite) {
  Picture picture = makePicture(1, 1);
  picture.rgba = {0, 0, 0, 0};
  EXPECT_EQ(renderIconBitmap(picture).pixel(0, 0), 15);
  picture.rgba = {0, 0, 0, 255};
  EXPECT_EQ(renderIconBitmap(picture).pixel(0, 0), 0);
  picture.rgba = {0, 0, 0, 128};  // half black over white: 127, the dark grey
  EXPECT_EQ(renderIconBitmap(picture).pixel(0, 0), 7);
  picture.rgba = {0, 0, 255, 40};  // a faint blue over white stays white
  EXPECT_EQ(renderIconBitmap(picture).pixel(0, 0), 15);
}

TEST(RenderIcon, RefusesPicturesWithoutPixelsOrWithMismatchedData) {
  EXPECT_THROW(renderIconBitmap(Picture{}), PictureError);
  Picture broken;
  broken.width = 4;
  broken.height = 4;
  broken.rgba.assign(10, 0);
  EXPECT_THROW(renderIconBitmap(broken), PictureError);
  EXPECT_THROW(makePicture(0, 7), PictureError);
  EXPECT_THROW(makePicture(20'000, 20'000), PictureError);
}

TEST(RenderIcon, SavesTheIconFileAndKeepsTheOldOneWhenSavingFails) {
  test::TempFolder folder;
  const std::string path = folder.file(kIconFileName);
  const IconBitmap icon = RenderIcon(palettePicture(64, 64, [](int, int) { return 12; }), path);
  EXPECT_EQ(loadBitmapFile(path), icon);
  EXPECT_EQ(icon.pixel(31, 31), 12);

  // A folder where the file should be: nothing may be replaced.
  const std::string blocked = folder.file("blocked.bmp");
  std::filesystem::create_directory(blocked);
  EXPECT_ANY_THROW(RenderIcon(standardIconPicture(), blocked));
  EXPECT_TRUE(std::filesystem::is_directory(blocked));

  const std::string before = test::readFile(path);
  EXPECT_THROW(RenderIcon(Picture{}, path), PictureError);
  EXPECT_EQ(test::readFile(path), before);
}

}  // namespace
}  // namespace vantrel
