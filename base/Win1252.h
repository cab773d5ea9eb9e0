#pragma once
// Windows-1252 text. The model and every file hold Windows-1252 bytes in std::string;
// the GUI and the command line convert at their edge with these functions.
//
// The five bytes that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to
// the C1 control characters of the same value, so every byte string survives a round trip.

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
// Nothing when the UTF-8 is malformed or holds a character outside Windows-1252.
[[nodiscard]] std::optional<std::string> utf8To1252(std::string_view utf8);
// For names recorded inside a format (a path in an archive): "_" stands for each character,
// or malformed byte, that Windows-1252 cannot hold.
std::string utf8To1252Recorded(std::string_view utf8);

}  // namespace vantrel
