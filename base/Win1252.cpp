#include "base/Win1252.h"

#include <array>

namespace vantrel {

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::optional<char32_t> decodeUtf8At(std::string_view text, std::size_t& at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  const std::size_t length = lead < 0x80             ? 1
                             : (lead & 0xE0) == 0xC0 ? 2
                             : (lead & 0xF0) == 0xE0 ? 3
                             : (lead & 0xF8) == 0xF0 ? 4
                                                     : 0;
  if (length == 0 || text.size() - at < length) return std::nullopt;
  char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    const unsigned char next = byte(at + k);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (next & 0x3F);
  }
  constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
    return std::nullopt;
  at += length;
  return cp;
}

std::optional<std::u32string> decodeUtf8(std::string_view in) {
  std::u32string out;
  out.reserve(in.size());
  for (std::size_t at = 0; at < in.size();) {
    const std::optional<char32_t> cp = decodeUtf8At(in, at);
    if (!cp) return std::nullopt;
    out += *cp;
  }
  return out;
}

bool isValidUtf8(std::string_view text) { return decodeUtf8(text).has_value(); }

char32_t codePointOf1252(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return win1252_detail::kHighControlBlock[byte - 0x80];
  return byte;
}

std::optional<unsigned char> byteOf1252(char32_t codePoint) {
  const int byte = win1252_detail::byteFor(codePoint);
  if (byte < 0) return std::nullopt;
  return static_cast<unsigned char>(byte);
}

std::u32string decode1252(std::string_view bytes) {
  std::u32string out;
  out.reserve(bytes.size());
  for (char c : bytes) out += codePointOf1252(static_cast<unsigned char>(c));
  return out;
}

std::optional<std::string> encode1252(std::u32string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t cp : text) {
    const auto byte = byteOf1252(cp);
    if (!byte) return std::nullopt;
    out += static_cast<char>(*byte);
  }
  return out;
}

std::string utf8From1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (char c : bytes) appendUtf8(out, codePointOf1252(static_cast<unsigned char>(c)));
  return out;
}

std::optional<std::string> utf8To1252(std::string_view utf8) {
  const auto text = decodeUtf8(utf8);
  if (!text) return std::nullopt;
  return encode1252(*text);
}

std::string utf8To1252Recorded(std::string_view utf8) {
  if (auto exact = utf8To1252(utf8)) return *exact;
  std::string text;
  std::size_t at = 0;
  while (at < utf8.size()) {
    // One UTF-8 sequence at a time, as long as its lead byte says.
    const auto lead = static_cast<unsigned char>(utf8[at]);
    const std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const auto one = utf8To1252(utf8.substr(at, length));
    text += one ? *one : std::string("_");
    at += length;
  }
  return text;
}

}  // namespace vantrel
