// Fuzzes the first look at a client's raw bytes (formmail/RequestScreen.h). Beyond "no crash":
//  - what more bytes can do only grows: a refusal of a prefix stays a refusal of the whole,
//    and the whole never has fewer sound requests than a prefix, unless it is refused;
//  - a first header block found sound holds, by a second, plainer reading, none of the refused
//    shapes: no control character but tab, every line ended by CRLF, no line that begins with
//    a blank, a colon in every header line with a name of token characters before it.

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "formmail/RequestScreen.h"

using namespace vantrel::formmail;

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

bool plainHeaderName(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
  });
}

// The first header block read line by line, the empty lines before it skipped.
void checkFirstBlockIsPlain(std::string_view bytes) {
  while (bytes.starts_with("\r\n")) bytes.remove_prefix(2);
  const std::size_t end = bytes.find("\r\n\r\n");
  require(end != std::string_view::npos);
  const std::string_view block = bytes.substr(0, end + 2);
  bool requestLine = true;
  for (std::size_t at = 0; at < block.size();) {
    const std::size_t lineEnd = block.find("\r\n", at);
    require(lineEnd != std::string_view::npos);
    const std::string_view line = block.substr(at, lineEnd - at);
    for (const char c : line) {
      const auto u = static_cast<unsigned char>(c);
      require(u == '\t' || (u >= 0x20 && u != 0x7F));
    }
    require(!line.empty() && line.front() != ' ' && line.front() != '\t');
    if (!requestLine)
      require(plainHeaderName(line.substr(0, line.find(':'))) &&
              line.find(':') != std::string_view::npos);
    requestLine = false;
    at = lineEnd + 2;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  constexpr std::size_t kMaxBlock = 1024;
  const Screening whole = screenRequests(bytes, kMaxBlock);
  if (whole.verdict == ScreenVerdict::Sound) {
    require(whole.soundRequests >= 1);
    checkFirstBlockIsPlain(bytes);
  } else {
    require(whole.soundRequests == 0 || whole.verdict == ScreenVerdict::Refused);
  }
  for (const std::size_t cut : {size / 3, size / 2, size - std::min<std::size_t>(size, 7)}) {
    const Screening prefix = screenRequests(bytes.substr(0, cut), kMaxBlock);
    if (prefix.verdict == ScreenVerdict::Refused) require(whole.verdict == ScreenVerdict::Refused);
    if (whole.verdict != ScreenVerdict::Refused)
      require(whole.soundRequests >= prefix.soundRequests);
  }
  return 0;
}
