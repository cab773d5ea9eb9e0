#pragma once
// Windows-1252 text. The model and every file hold Windows-1252 bytes in std::string;
// the GUI and the command line convert at their edge with these functions.
//
// The five bytes that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to
// the C1 control characters of the same value, so every byte string survives a round trip.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// The Unicode code point a Windows-1252 byte stands for.
char32_t codePointOf1252(unsigned char byte);

// The Windows-1252 byte for a code point, or nothing when the code page cannot hold it.
[[nodiscard]] std::optional<unsigned char> byteOf1252(char32_t codePoint);

// Whole texts. The encoders refuse (return nothing) instead of replacing a character.
std::u32string decode1252(std::string_view bytes);
[[nodiscard]] std::optional<std::string> encode1252(std::u32string_view text);

std::string utf8From1252(std::string_view bytes);
// One code point in UTF-8; the caller passes a Unicode scalar value.
void appendUtf8(std::string& out, char32_t codePoint);
// Strict UTF-8: no stray continuation bytes, no overlong forms, no surrogates, nothing beyond
// U+10FFFF. decodeUtf8At reads the one character at `at` and moves `at` past it; on malformed
// bytes it returns nothing and leaves `at` where it was.
[[nodiscard]] std::optional<char32_t> decodeUtf8At(std::string_view text, std::size_t& at);
[[nodiscard]] std::optional<std::u32string> decodeUtf8(std::string_view text);
[[nodiscard]] bool isValidUtf8(std::string_view text);
// Nothing when the UTF-8 is malformed or holds a character outside Windows-1252.
[[nodiscard]] std::optional<std::string> utf8To1252(std::string_view utf8);
// For names recorded inside a format (a path in an archive): "_" stands for each character,
// or malformed byte, that Windows-1252 cannot hold.
std::string utf8To1252Recorded(std::string_view utf8);

namespace win1252_detail {

// 0x80..0x9F; the undefined positions keep their own value.
inline constexpr std::array<char32_t, 32> kHighControlBlock = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr int byteFor(char32_t codePoint) {
  if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
    return static_cast<int>(codePoint);
  for (std::size_t i = 0; i < kHighControlBlock.size(); ++i) {
    if (kHighControlBlock[i] == codePoint) return static_cast<int>(0x80 + i);
  }
  return -1;
}

// Never called while compiling: reaching it there stops the build with its name in the error.
inline void textHoldsACharacterWindows1252Lacks() {}

}  // namespace win1252_detail

// A text that the source writes in UTF-8, as the Windows-1252 bytes that a format or the model
// holds, converted by the compiler.
template <std::size_t N>
struct Cp1252Text {
  std::array<char, N> bytes{};
  std::size_t size = 0;

  [[nodiscard]] constexpr std::string_view view() const { return {bytes.data(), size}; }
  constexpr operator std::string_view() const { return view(); }  // NOLINT: a text like any other
};

// `utf8` (a literal) in Windows-1252; a character the code page lacks, or malformed UTF-8, does
// not compile.
template <std::size_t N>
consteval Cp1252Text<N> cp1252(const char (&utf8)[N]) {
  Cp1252Text<N> text;
  std::size_t at = 0;
  while (at + 1 < N) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    char32_t codePoint = lead;
    std::size_t extra = 0;
    if (lead >= 0xF0) {
      codePoint = lead & 0x07;
      extra = 3;
    } else if (lead >= 0xE0) {
      codePoint = lead & 0x0F;
      extra = 2;
    } else if (lead >= 0xC0) {
      codePoint = lead & 0x1F;
      extra = 1;
    } else if (lead >= 0x80) {
      win1252_detail::textHoldsACharacterWindows1252Lacks();
    }
    for (std::size_t i = 1; i <= extra; ++i) {
      const auto next = static_cast<unsigned char>(utf8[at + i]);
      if ((next & 0xC0) != 0x80) win1252_detail::textHoldsACharacterWindows1252Lacks();
      codePoint = (codePoint << 6) | (next & 0x3F);
    }
    const int byte = win1252_detail::byteFor(codePoint);
    if (byte < 0) win1252_detail::textHoldsACharacterWindows1252Lacks();
    text.bytes[text.size++] = static_cast<char>(byte);
    at += 1 + extra;
  }
  return text;
}

}  // namespace vantrel
