#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "icon/IconPos.h"
#include "tests/icon/IconTestSupport.h"

namespace vantrel {
namespace {

using test::readFile;
using test::writeFile;

// What the description of the search does: a window over the decoded bytes, compared whole at
// every position; the last match wins.
std::optional<std::size_t> naiveLastOccurrence(std::string_view haystack, std::string_view needle) {
  std::optional<std::size_t> last;
  if (needle.empty()) return last;
  for (std::size_t at = 0; at + needle.size() <= haystack.size(); ++at) {
    if (haystack.substr(at, needle.size()) == needle) last = at;
  }
  return last;
}

std::string encodedCopy(std::string decoded) {
  for (char& byte : decoded) byte = static_cast<char>(static_cast<std::uint8_t>(byte) + 1);
  return decoded;
}

std::string randomBytes(std::mt19937& random, std::size_t size, int alphabet) {
  std::uniform_int_distribution<int> pick(0, alphabet - 1);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(pick(random));
  return bytes;
}

// A pattern of 512 bytes that holds 0xFF, whose stored form 0x00 tests the modulo rule.
std::string iconPattern() {
  std::string pattern(512, '\0');
  for (std::size_t k = 0; k < pattern.size(); ++k)
    pattern[k] = static_cast<char>((k * 37 + 11) % 256);
  pattern[100] = static_cast<char>(0xFF);
  return pattern;
}

struct ToolFolder : test::TempFolder {
  std::string prototype() const { return file(kPrototypeFileName); }
  std::string patternFile() const { return file(kIconPatternFileName); }
  void writePatternFile(const std::string& pattern) const {
    writeFile(patternFile(), std::string(168, 'x') + pattern + std::string(40, 'y'));
  }
};

TEST(IconPixelBlock, RowsRunBottomUpWithTheLeftPixelHigh) {
  IconBitmap icon = createIconBitmap();
  icon.pixels[0] = 15;           // top-left
  icon.pixels[31 * 32] = 1;      // bottom-left
  icon.pixels[31 * 32 + 1] = 9;  // its right neighbour
  const IconPixelBlock block = iconPixelBlock(icon);
  EXPECT_EQ(block[0] >> 4, 1);
  EXPECT_EQ(block[0] & 0x0F, 9);
  EXPECT_EQ(block[496] >> 4, 15);
  // The block is exactly the pixel data of the icon file.
  for (int j = 0; j < 32; ++j) {
    for (int k = 0; k < 16; ++k) {
      const std::uint8_t byte = block[static_cast<std::size_t>(j * 16 + k)];
      ASSERT_EQ(byte >> 4, icon.pixel(2 * k, 31 - j));
      ASSERT_EQ(byte & 0x0F, icon.pixel(2 * k + 1, 31 - j));
    }
  }
}

TEST(IconPixelBlock, OtherShapesAreReducedToThePalette) {
  IconBitmap large;
  large.width = 40;
  large.height = 20;
  large.bitsPerPixel = 24;
  large.colours.assign(40 * 20, Rgb{250, 0, 0});
  const IconPixelBlock block = iconPixelBlock(large);
  EXPECT_EQ(block[511 - 15] >> 4, 9);  // top-left: red
  EXPECT_EQ(block[0] >> 4, 15);        // row 31 lies below the bitmap: white
  EXPECT_EQ(block[(31 - 19) * 16] >> 4, 9);
  EXPECT_EQ(block[(31 - 20) * 16] >> 4, 15);
}

TEST(LastOccurrence, AgreesWithTheWindowScanOnRepetitiveData) {
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    const int alphabet = 1 + round % 3;
    std::string needle = randomBytes(random, round % 2 ? 512 : 1 + round % 40, alphabet);
    if (round % 5 == 0) needle = std::string(needle.size(), 'a');  // period 1
    std::string haystack =
        randomBytes(random, 3000 + static_cast<std::size_t>(round) * 7, alphabet);
    for (int plant = 0; plant < round % 4; ++plant) {
      const std::size_t at = random() % (haystack.size() - needle.size());
      haystack.replace(at, needle.size(), needle);
    }
    ASSERT_EQ(lastOccurrence(haystack, needle), naiveLastOccurrence(haystack, needle))
        << "round " << round;
  }
  EXPECT_EQ(lastOccurrence(std::string(2000, 'a'), std::string(512, 'a')), 2000u - 512u);
  EXPECT_EQ(lastOccurrence("abc", ""), std::nullopt);
  EXPECT_EQ(lastOccurrence("ab", "abc"), std::nullopt);
}

TEST(LastOccurrence, FileSearchFindsOccurrencesAcrossBlockBoundaries) {
  test::TempFolder folder;
  std::mt19937 random(11);
  const std::string pattern = iconPattern();
  std::string decoded = randomBytes(random, 20000, 256);
  for (const std::size_t at : {std::size_t{700}, std::size_t{2000}, std::size_t{4096 - 200}}) {
    decoded.replace(at, pattern.size(), pattern);
  }
  writeFile(folder.file("p"), encodedCopy(decoded));
  for (const std::size_t block : {std::size_t{1}, std::size_t{100}, std::size_t{511},
                                  std::size_t{512}, std::size_t{4096}, std::size_t{1} << 20}) {
    EXPECT_EQ(findLastDecodedOccurrence(folder.file("p"), pattern, block), 4096u - 200u) << block;
  }
}

TEST(RenderIconPos, TheLastOccurrenceWins) {
  ToolFolder folder;
  std::mt19937 random(3);
  const std::string pattern = iconPattern();
  std::string decoded = randomBytes(random, 12000, 256);
  decoded.replace(5000, 512, pattern);
  decoded.replace(9000, 512, pattern);
  writeFile(folder.prototype(), encodedCopy(decoded));
  folder.writePatternFile(pattern);
  EXPECT_EQ(RenderIconPos(folder.path().string() + "/"), 9000u);
}

TEST(RenderIconPos, StaysZeroWhenAnythingIsMissing) {
  ToolFolder folder;
  const std::string pattern = iconPattern();
  std::string decoded(3000, '\x07');
  decoded.replace(1000, 512, pattern);

  EXPECT_EQ(RenderIconPos(folder.prototype(), folder.patternFile()), 0u);  // neither file
  writeFile(folder.prototype(), encodedCopy(decoded));
  EXPECT_EQ(RenderIconPos(folder.prototype(), folder.patternFile()), 0u);  // no pattern file
  writeFile(folder.patternFile(), std::string(168, 'x') + pattern.substr(0, 511));
  EXPECT_EQ(RenderIconPos(folder.prototype(), folder.patternFile()), 0u);  // one byte short
  folder.writePatternFile(pattern);
  EXPECT_EQ(RenderIconPos(folder.prototype(), folder.patternFile()), 1000u);
  // The decoded bytes are what count: an unencoded copy does not match.
  writeFile(folder.prototype(), decoded);
  EXPECT_EQ(RenderIconPos(folder.prototype(), folder.patternFile()), 0u);
  std::filesystem::remove(folder.prototype());
  EXPECT_EQ(RenderIconPos(folder.prototype(), folder.patternFile()), 0u);
  std::filesystem::create_directory(folder.prototype());
  EXPECT_EQ(RenderIconPos(folder.prototype(), folder.patternFile()), 0u);
}

// The prototype and pattern file that the build puts beside the tool, when they are built.
TEST(RenderIconPos, FindsTheViewersIconInTheRealPrototype) {
  const char* overridden = std::getenv("VANTREL_PROTOTYPE_DIR");
  const std::string folder = std::string(overridden ? overridden : VANTREL_BIN_DIR) + "/";
  if (!std::filesystem::exists(folder + kPrototypeFileName) ||
      !std::filesystem::exists(folder + kIconPatternFileName)) {
    GTEST_SKIP() << "no ProtoExe.dat and iconcomp.dat in " << folder;
  }
  const std::uint32_t iconPos = RenderIconPos(folder);
  ASSERT_NE(iconPos, 0u);
  std::string decoded = readFile(folder + kPrototypeFileName);
  for (char& byte : decoded) byte = static_cast<char>(static_cast<std::uint8_t>(byte) - 1);
  const std::string pattern =
      readFile(folder + kIconPatternFileName).substr(kIconPatternOffset, 512);
  EXPECT_EQ(decoded.substr(iconPos, 512), pattern);
  EXPECT_EQ(decoded.find(pattern), iconPos) << "the icon pixels occur more than once";
}

TEST(WriteIcon, OverwritesExactlyTheIconBytesAndKeepsTheLength) {
  test::TempFolder folder;
  const std::string exe = folder.file("ziel.exe");
  const std::string original(4000, 'Q');
  writeFile(exe, original);
  IconBitmap icon = createIconBitmap();
  for (std::size_t k = 0; k < icon.pixels.size(); ++k)
    icon.pixels[k] = static_cast<std::uint8_t>(k % 16);

  EXPECT_EQ(WriteIcon(exe, 0, icon), WriteIconResult::NoIconPos);
  EXPECT_EQ(readFile(exe), original);

  EXPECT_EQ(WriteIcon(exe, 1234, icon), WriteIconResult::Written);
  const std::string written = readFile(exe);
  ASSERT_EQ(written.size(), original.size());
  const IconPixelBlock block = iconPixelBlock(icon);
  EXPECT_EQ(written.substr(1234, 512), std::string(block.begin(), block.end()));
  EXPECT_EQ(written.substr(0, 1234), original.substr(0, 1234));
  EXPECT_EQ(written.substr(1234 + 512), original.substr(1234 + 512));

  // Exactly at the end fits; one byte further would lengthen the file and is refused.
  EXPECT_EQ(WriteIcon(exe, 4000 - 512, icon), WriteIconResult::Written);
  EXPECT_EQ(WriteIcon(exe, 4000 - 511, icon), WriteIconResult::TooShort);
  EXPECT_EQ(readFile(exe).size(), 4000u);
  writeFile(exe, "");
  EXPECT_EQ(WriteIcon(exe, 100, icon), WriteIconResult::TooShort);
  EXPECT_EQ(readFile(exe), "");

  EXPECT_EQ(WriteIcon(folder.file("missing.exe"), 100, icon), WriteIconResult::CannotOpen);
  EXPECT_FALSE(std::filesystem::exists(folder.file("missing.exe")));
}

}  // namespace
}  // namespace vantrel
