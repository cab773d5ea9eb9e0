// Fuzzes the search for the last occurrence of the icon pattern against the plain scan that
// compares the needle at every position. The first byte chooses the needle's length, the rest
// is needle then haystack; small alphabets make overlapping, repetitive occurrences common.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "icon/IconPos.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t needleSize = 1 + data[0] % 64;
  const bool smallAlphabet = data[0] & 0x80;
  std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  if (smallAlphabet) {
    for (char& byte : rest) byte = static_cast<char>('a' + static_cast<std::uint8_t>(byte) % 2);
  }
  if (rest.size() < needleSize) return 0;
  const std::string_view needle = std::string_view(rest).substr(0, needleSize);
  const std::string_view haystack = std::string_view(rest).substr(needleSize);

  std::optional<std::size_t> expected;
  for (std::size_t at = 0; at + needle.size() <= haystack.size(); ++at) {
    if (haystack.substr(at, needle.size()) == needle) expected = at;
  }
  if (vantrel::lastOccurrence(haystack, needle) != expected) std::abort();
  return 0;
}
