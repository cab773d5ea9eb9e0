#include "formmail/PostedText.h"

#include <optional>

#include "base/Win1252.h"

namespace vantrel::formmail {
namespace {

constexpr char32_t kLastCodePoint = 0x10FFFF;

int digitValue(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (hex && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (hex && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

struct Reference {
  char32_t codePoint = 0;
  std::size_t length = 0;  // "&#" up to and with the ';'
};

// A reference "&#NNN;" or "&#xHHH;" at the start of `text` that stands for a character a
// Windows-1252 post cannot carry, or nothing. Values beyond Unicode stop growing, so no run of
// digits can overflow.
std::optional<Reference> foreignReferenceAt(std::string_view text) {
  if (text.size() < 4 || text[0] != '&' || text[1] != '#') return std::nullopt;
  std::size_t at = 2;
  const bool hex = text[at] == 'x' || text[at] == 'X';
  if (hex) ++at;
  const std::size_t firstDigit = at;
  char32_t value = 0;
  for (; at < text.size() && digitValue(text[at], hex) >= 0; ++at) {
    if (value <= kLastCodePoint)
      value = value * (hex ? 16 : 10) + static_cast<char32_t>(digitValue(text[at], hex));
  }
  if (at == firstDigit || at >= text.size() || text[at] != ';') return std::nullopt;
  const bool scalar = value <= kLastCodePoint && !(value >= 0xD800 && value <= 0xDFFF);
  if (!scalar || value == 0 || byteOf1252(value).has_value()) return std::nullopt;
  return Reference{value, at + 1};
}

}  // namespace

std::string utf8FromPosted1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (std::size_t i = 0; i < bytes.size();) {
    if (const auto reference = foreignReferenceAt(bytes.substr(i))) {
      appendUtf8(out, reference->codePoint);
      i += reference->length;
    } else {
      appendUtf8(out, codePointOf1252(static_cast<unsigned char>(bytes[i])));
      ++i;
    }
  }
  return out;
}

std::string postedText(std::string_view posted, bool utf8Post) {
  return utf8Post ? std::string(posted) : utf8FromPosted1252(posted);
}

}  // namespace vantrel::formmail
