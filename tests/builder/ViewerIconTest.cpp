// The viewer's own icon image: the colour table the tool reduces pictures to, in its order,
// and the pixel and mask layout of an icon resource image.

#include <gtest/gtest.h>

#include "icon/IconBitmap.h"
#include "viewer/ViewerIcon.h"

namespace vantrel::viewer {
namespace {

TEST(ViewerIcon, CarriesTheIconPaletteInItsOrder) {
  const IconImage image = makeViewerIcon();
  for (std::size_t i = 0; i < 16; ++i) {
    const unsigned char* entry = image.bytes + kIconHeaderSize + 4 * i;
    EXPECT_EQ((Rgb{entry[2], entry[1], entry[0]}), IconPalette[i]) << i;
    EXPECT_EQ(entry[3], 0);
  }
}

TEST(ViewerIcon, StoresRowsBottomUpWithTheLeftPixelHighAndAMask) {
  const IconImage image = makeViewerIcon();
  // Header: 40 bytes, 32 x 64 (image and mask), one plane, 4 bits.
  EXPECT_EQ(image.bytes[0], 40);
  EXPECT_EQ(image.bytes[4], 32);
  EXPECT_EQ(image.bytes[8], 64);
  EXPECT_EQ(image.bytes[12], 1);
  EXPECT_EQ(image.bytes[14], 4);
  // Row 2 from the top is stored as row 29: "....0fff..." -> pixel 4 black, 5 white.
  const unsigned char* row2 = image.bytes + kIconPixelOffset + 29 * 16;
  EXPECT_EQ(row2[2], 0x0F);  // pixels 4 and 5
  EXPECT_EQ(iconPixelIndex(image.bytes, 4, 2), 0);
  EXPECT_EQ(iconPixelIndex(image.bytes, 5, 2), 15);
  EXPECT_EQ(iconPixelIndex(image.bytes, 6, 3), 12);
  // Mask: the first four pixels of every row are transparent, the sheet is not.
  const unsigned char* maskRow0 = image.bytes + kIconMaskOffset + 31 * 4;
  EXPECT_EQ(maskRow0[0], 0xFF);  // row 0 is transparent throughout
  EXPECT_TRUE(iconPixelHidden(image.bytes, 3, 2));
  EXPECT_FALSE(iconPixelHidden(image.bytes, 4, 2));
  EXPECT_TRUE(iconPixelHidden(image.bytes, 31, 2));
}

}  // namespace
}  // namespace vantrel::viewer
