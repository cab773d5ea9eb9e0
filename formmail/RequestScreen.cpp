#include "formmail/RequestScreen.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>

namespace vantrel::formmail {
namespace {

constexpr std::size_t kUnknown = std::string_view::npos;

bool isTokenChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), isTokenChar);
}

// A tab is the one control character a header value may hold.
bool isControl(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u < 0x20 && c != '\t') || u == 0x7F;
}

bool sameCaseless(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

std::string_view withoutBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

enum class Piece { Whole, Partial, Bad };

struct Line {
  Piece piece = Piece::Partial;
  std::string_view text;  // without its CRLF
  std::size_t next = 0;   // where the line after it begins
};

Line bad() {
  Line line;
  line.piece = Piece::Bad;
  return line;
}

// The line from `at`, ended by CRLF. The bytes of a line not yet ended are checked as well, so
// that a client trickling a refused shape is refused at once rather than at the end.
Line lineAt(std::string_view bytes, std::size_t at) {
  for (std::size_t i = at; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\r') {
      if (i + 1 == bytes.size()) return {};
      if (bytes[i + 1] != '\n') return bad();
      return {Piece::Whole, bytes.substr(at, i - at), i + 2};
    }
    if (c == '\n' || isControl(c)) return bad();
  }
  return {};
}

bool isRequestLine(std::string_view line) {
  const std::size_t first = line.find(' ');
  const std::size_t second = first == kUnknown ? kUnknown : line.find(' ', first + 1);
  if (second == kUnknown || line.find(' ', second + 1) != kUnknown) return false;
  if (line.find('\t') != kUnknown) return false;
  const std::string_view target = line.substr(first + 1, second - first - 1);
  return isToken(line.substr(0, first)) && !target.empty() &&
         line.substr(second + 1).starts_with("HTTP/");
}

// What the header lines say about where the body ends.
struct Framing {
  int lengths = 0;
  bool lengthsAgree = true;
  std::string_view length;
  int codings = 0;
  bool chunked = true;
};

bool takeHeaderLine(std::string_view line, Framing& framing) {
  if (line.front() == ' ' || line.front() == '\t') return false;  // obs-fold
  const std::size_t colon = line.find(':');
  if (colon == kUnknown || !isToken(line.substr(0, colon))) return false;
  const std::string_view name = line.substr(0, colon);
  const std::string_view value = withoutBlanks(line.substr(colon + 1));
  if (sameCaseless(name, "Content-Length")) {
    if (framing.lengths++ == 0) framing.length = value;
    framing.lengthsAgree = framing.lengthsAgree && value == framing.length;
  } else if (sameCaseless(name, "Transfer-Encoding")) {
    ++framing.codings;
    framing.chunked = framing.chunked && sameCaseless(value, "chunked");
  }
  return true;
}

struct Block {
  enum class Result { Partial, Bad, TooLarge, Whole } result = Result::Partial;
  std::size_t end = 0;  // behind the empty line
  Framing framing;
};

Block ended(Block::Result result) {
  Block block;
  block.result = result;
  return block;
}

Block headerBlockAt(std::string_view bytes, std::size_t start, std::size_t maxBlock) {
  using Result = Block::Result;
  Block block;
  std::size_t at = start;
  while (bytes.substr(at).starts_with("\r\n")) at += 2;
  for (bool requestLine = true;; requestLine = false) {
    const Line line = lineAt(bytes, at);
    if (line.piece == Piece::Bad) return ended(Result::Bad);
    const std::size_t reached = line.piece == Piece::Whole ? line.next : bytes.size();
    if (reached - start > maxBlock) return ended(Result::TooLarge);
    if (line.piece == Piece::Partial) return ended(Result::Partial);
    at = line.next;
    if (requestLine) {
      if (!isRequestLine(line.text)) return ended(Result::Bad);
    } else if (line.text.empty()) {
      block.result = Result::Whole;
      block.end = at;
      return block;
    } else if (!takeHeaderLine(line.text, block.framing)) {
      return ended(Result::Bad);
    }
  }
}

std::optional<std::uint64_t> numberIn(std::string_view text, int base, std::size_t maxDigits) {
  std::uint64_t value = 0;
  if (text.empty() || text.size() > maxDigits) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Behind a chunked body that starts at `at`, its trailer lines included; kUnknown when it has
// not arrived whole.
std::size_t chunkedBodyEnd(std::string_view bytes, std::size_t at) {
  for (;;) {
    const Line line = lineAt(bytes, at);
    if (line.piece != Piece::Whole) return kUnknown;
    at = line.next;
    const auto size = numberIn(withoutBlanks(line.text.substr(0, line.text.find(';'))), 16, 15);
    if (!size) return kUnknown;
    if (*size == 0) break;
    if (bytes.size() - at < *size + 2 || bytes.substr(at + *size, 2) != "\r\n") return kUnknown;
    at += *size + 2;
  }
  for (;;) {
    const Line line = lineAt(bytes, at);
    if (line.piece != Piece::Whole) return kUnknown;
    at = line.next;
    if (line.text.empty()) return at;
  }
}

// Behind the body that starts at `at`; kUnknown when it has not arrived whole, or when the
// framing is one the server refuses anyway (nothing behind it is read then).
std::size_t bodyEnd(std::string_view bytes, std::size_t at, const Framing& framing) {
  if (framing.codings > 0)
    return framing.codings == 1 && framing.chunked && framing.lengths == 0
               ? chunkedBodyEnd(bytes, at)
               : kUnknown;
  if (framing.lengths == 0) return at;
  const auto length = numberIn(framing.length, 10, 18);
  if (!framing.lengthsAgree || !length || bytes.size() - at < *length) return kUnknown;
  return at + *length;
}

}  // namespace

Screening screenRequests(std::string_view bytes, std::size_t maxHeaderBlock) {
  using Result = Block::Result;
  Screening screening;
  for (std::size_t at = 0;;) {
    const Block block = headerBlockAt(bytes, at, maxHeaderBlock);
    if (block.result == Result::Bad) {
      screening.verdict = ScreenVerdict::Refused;
      return screening;
    }
    if (block.result != Result::Whole) {
      if (screening.soundRequests == 0)
        screening.verdict =
            block.result == Result::TooLarge ? ScreenVerdict::TooLarge : ScreenVerdict::Incomplete;
      return screening;
    }
    ++screening.soundRequests;
    screening.verdict = ScreenVerdict::Sound;
    const std::size_t end = bodyEnd(bytes, block.end, block.framing);
    if (end == kUnknown || end == bytes.size()) return screening;
    at = end;
  }
}

}  // namespace vantrel::formmail
