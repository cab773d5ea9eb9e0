#include <gtest/gtest.h>

#include "base/Win1252.h"

using namespace vantrel;

TEST(Win1252, EveryByteSurvivesTheRoundTripThroughUtf8) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const auto back = utf8To1252(utf8From1252(all));
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, all);
}

TEST(Win1252, MapsTheHighBlockAndLatin1) {
  EXPECT_EQ(utf8From1252("\x80"), "\xE2\x82\xAC");  // euro sign
  EXPECT_EQ(utf8From1252("Gr\xF6\xDF"
                         "e"),
            "Gr\xC3\xB6\xC3\x9F"
            "e");
  EXPECT_EQ(utf8To1252("\xE2\x80\x9E"), std::string("\x84"));  // low double quote
}

TEST(Win1252, RefusesWhatTheCodePageCannotHold) {
  EXPECT_FALSE(utf8To1252("\xE2\x82\xAD").has_value());      // U+20AD
  EXPECT_FALSE(utf8To1252("\xF0\x9F\x98\x80").has_value());  // emoji
  EXPECT_FALSE(byteOf1252(0x0100).has_value());
}

TEST(Win1252, RefusesMalformedUtf8) {
  EXPECT_FALSE(utf8To1252("\xC3").has_value());          // cut short
  EXPECT_FALSE(utf8To1252("\xC0\xAF").has_value());      // overlong
  EXPECT_FALSE(utf8To1252("\xED\xA0\x80").has_value());  // surrogate
  EXPECT_FALSE(utf8To1252("\xFF").has_value());
}

// Texts written in UTF-8 and converted by the compiler are the bytes the run-time converter gives.
TEST(Win1252, TextsConvertedWhileCompilingMatchTheRunTimeConversion) {
  constexpr auto umlauts = cp1252("Größe: ÄÖÜäöüß, „€ 5…“");
  static_assert(umlauts.view().size() == 22);
  EXPECT_EQ(std::string(umlauts.view()), utf8To1252("Größe: ÄÖÜäöüß, „€ 5…“").value());
  constexpr auto plain = cp1252("");
  EXPECT_TRUE(plain.view().empty());
}
