#include "answers/mailbox/ImapResponse.h"

#include <algorithm>
#include <charconv>

#include "base/Win1252.h"

namespace vantrel::answers {
namespace {

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsCaseless(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return lowerAscii(x) == lowerAscii(y);
         });
}

// The count of a literal announced at the end of `line` ("{123}" or "{123+}"), nullopt when the
// line announces none, and kNoCount for an announcement that cannot be read.
constexpr std::uint64_t kNoCount = ~std::uint64_t{0};

std::optional<std::uint64_t> literalAnnounced(std::string_view line) {
  if (!line.ends_with('}')) return std::nullopt;
  const std::size_t open = line.rfind('{');
  if (open == std::string_view::npos) return std::nullopt;
  std::string_view digits = line.substr(open + 1, line.size() - open - 2);
  if (digits.ends_with('+')) digits.remove_suffix(1);
  std::uint64_t count = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
    return kNoCount;
  return count;
}

bool isAtomChar(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte > 0x20 && byte != 0x7F && c != '(' && c != ')' && c != '{' && c != '"' && c != ']' &&
         c != '[';
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  std::optional<ImapResponse> response() {
    ImapResponse response;
    if (!readWord(response.tag)) return std::nullopt;
    if (response.tag == "+") {
      response.statusText = std::string(restOfLine());
      return finished(std::move(response));
    }
    if (!skip(' ')) return std::nullopt;
    std::optional<ImapValue> first = value(0);
    if (!first) return std::nullopt;
    const bool number = imapNumber(*first).has_value();
    response.items.push_back(std::move(*first));
    if (number && skip(' ')) {  // "* 12 FETCH (...)", "* 3 EXISTS": the word after the number
      std::optional<ImapValue> second = value(0);
      if (!second) return std::nullopt;
      response.items.push_back(std::move(*second));
    }
    if (isStatusWord(response.items.front())) {
      if (at_ < text_.size() && text_[at_] == ' ') ++at_;
      if (at_ < text_.size() && text_[at_] == '[') {
        std::optional<ImapValue> code = list(0, ']');
        if (!code) return std::nullopt;
        code->kind = ImapValue::Kind::code;
        response.items.push_back(std::move(*code));
        if (at_ < text_.size() && text_[at_] == ' ') ++at_;
      }
      response.statusText = std::string(restOfLine());
      return finished(std::move(response));
    }
    while (skip(' ')) {
      std::optional<ImapValue> next = value(0);
      if (!next) return std::nullopt;
      response.items.push_back(std::move(*next));
    }
    return finished(std::move(response));
  }

 private:
  static bool isStatusWord(const ImapValue& value) {
    return value.isAtom("OK") || value.isAtom("NO") || value.isAtom("BAD") || value.isAtom("BYE") ||
           value.isAtom("PREAUTH");
  }

  std::optional<ImapResponse> finished(ImapResponse response) {
    if (text_.substr(at_) == "\r\n" || text_.substr(at_) == "\n") return response;
    return std::nullopt;
  }

  std::string_view restOfLine() {
    const std::size_t end = std::min(text_.find('\n', at_), text_.size());
    std::string_view rest = text_.substr(at_, end - at_);
    at_ = end;
    if (rest.ends_with('\r')) {
      rest.remove_suffix(1);
      --at_;
    }
    return rest;
  }

  bool skip(char c) {
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }

  bool readWord(std::string& word) {
    const std::size_t start = at_;
    while (at_ < text_.size() && isAtomChar(text_[at_])) ++at_;
    word = text_.substr(start, at_ - start);
    return !word.empty();
  }

  std::optional<ImapValue> value(int depth) {
    if (at_ >= text_.size() || depth > kDeepestImapNesting) return std::nullopt;
    switch (text_[at_]) {
      case '(':
        return list(depth, ')');
      case '"':
        return quoted();
      case '{':
        return literal();
      default:
        return atom(depth);
    }
  }

  // "(" values separated by single spaces ")", or a response code between "[" and "]".
  std::optional<ImapValue> list(int depth, char close) {
    ++at_;
    ImapValue result;
    result.kind = ImapValue::Kind::list;
    if (skip(close)) return result;
    while (true) {
      std::optional<ImapValue> item = value(depth + 1);
      if (!item) return std::nullopt;
      const bool wasList = item->kind == ImapValue::Kind::list;
      result.items.push_back(std::move(*item));
      if (skip(close)) return result;
      // The parts of a multipart body follow each other without a space.
      const bool nextList = wasList && at_ < text_.size() && text_[at_] == '(';
      if (!nextList && !skip(' ')) return std::nullopt;
    }
  }

  std::optional<ImapValue> quoted() {
    ++at_;
    ImapValue result;
    result.kind = ImapValue::Kind::string;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return result;
      if (c == '\r' || c == '\n') return std::nullopt;
      if (c == '\\') {
        if (at_ >= text_.size()) return std::nullopt;
        result.text += text_[at_++];
      } else {
        result.text += c;
      }
    }
    return std::nullopt;
  }

  std::optional<ImapValue> literal() {
    const std::size_t lineEnd = text_.find('\n', at_);
    if (lineEnd == std::string_view::npos) return std::nullopt;
    std::string_view announcement = text_.substr(at_, lineEnd - at_);
    if (announcement.ends_with('\r')) announcement.remove_suffix(1);
    const std::optional<std::uint64_t> count = literalAnnounced(announcement);
    if (!count || *count == kNoCount || announcement.find('}') + 1 != announcement.size())
      return std::nullopt;
    const std::size_t start = lineEnd + 1;
    if (*count > text_.size() - start) return std::nullopt;
    ImapValue result;
    result.kind = ImapValue::Kind::string;
    result.text = text_.substr(start, static_cast<std::size_t>(*count));
    at_ = start + static_cast<std::size_t>(*count);
    return result;
  }

  // An atom; "BODY[...]" and "BODY[...]<0>" are one atom, their section read as it stands
  // (it may hold spaces and parentheses: "BODY[HEADER.FIELDS (MESSAGE-ID)]").
  std::optional<ImapValue> atom(int /*depth*/) {
    ImapValue result;
    if (!readWord(result.text) && !(at_ < text_.size() && text_[at_] == '[')) return std::nullopt;
    if (at_ < text_.size() && text_[at_] == '[' && !result.text.empty()) {
      const std::size_t close = text_.find(']', at_);
      if (close == std::string_view::npos ||
          text_.substr(at_, close - at_).find_first_of("\r\n") != std::string_view::npos)
        return std::nullopt;
      result.text += text_.substr(at_, close + 1 - at_);
      at_ = close + 1;
      std::string rest;
      if (readWord(rest)) result.text += rest;  // the "<origin>" of a partial fetch
    }
    if (result.text.empty()) return std::nullopt;
    if (equalsCaseless(result.text, "NIL")) result.kind = ImapValue::Kind::nil;
    return result;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

// The next character of UTF-8 text; a byte that does not begin a valid sequence stands for
// itself (Latin-1), so no name is refused.
char32_t nextCodePoint(std::string_view text, std::size_t& at) {
  if (const std::optional<char32_t> c = decodeUtf8At(text, at)) return *c;
  return static_cast<unsigned char>(text[at++]);
}

// UTF-16 units in the base64 of modified UTF-7: "," for "/", no padding.
std::string modifiedBase64(const std::vector<char16_t>& units) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";
  std::string out;
  std::uint32_t group = 0;
  int bits = 0;
  for (const char16_t unit : units) {
    group = (group << 16) | unit;
    bits += 16;
    while (bits >= 6) {
      bits -= 6;
      out += kDigits[(group >> bits) & 0x3F];
    }
    group &= (1U << bits) - 1;
  }
  if (bits > 0) out += kDigits[(group << (6 - bits)) & 0x3F];
  return out;
}

int modifiedBase64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == ',') return 63;
  return -1;
}

// The UTF-16 units of one "&...-" run, appended as UTF-8; false for a run that is no whole
// number of units, leaves bits set, or pairs surrogates wrongly.
bool appendDecodedRun(std::string_view run, std::string& out) {
  std::uint32_t group = 0;
  int bits = 0;
  char16_t high = 0;
  for (const char c : run) {
    const int value = modifiedBase64Value(c);
    if (value < 0) return false;
    group = (group << 6) | static_cast<std::uint32_t>(value);
    bits += 6;
    if (bits < 16) continue;
    bits -= 16;
    const auto unit = static_cast<char16_t>((group >> bits) & 0xFFFF);
    group &= (1U << bits) - 1;
    if (high != 0) {
      if (unit < 0xDC00 || unit > 0xDFFF) return false;
      appendUtf8(out, 0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) + (unit - 0xDC00));
      high = 0;
    } else if (unit >= 0xD800 && unit <= 0xDBFF) {
      high = unit;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      return false;
    } else {
      appendUtf8(out, unit);
    }
  }
  return high == 0 && bits < 6 && group == 0 && !run.empty();
}

}  // namespace

std::optional<std::string> decodedFolderName(std::string_view name) {
  std::string out;
  for (std::size_t at = 0; at < name.size(); ++at) {
    const auto byte = static_cast<unsigned char>(name[at]);
    if (byte < 0x20 || byte > 0x7E) return std::nullopt;
    if (name[at] != '&') {
      out += name[at];
      continue;
    }
    const std::size_t end = name.find('-', at + 1);
    if (end == std::string_view::npos) return std::nullopt;
    if (end == at + 1) {
      out += '&';
    } else if (!appendDecodedRun(name.substr(at + 1, end - at - 1), out)) {
      return std::nullopt;
    }
    at = end;
  }
  return out;
}

bool ImapValue::isAtom(std::string_view name) const {
  return kind == Kind::atom && equalsCaseless(text, name);
}

bool ImapResponse::isStatus(std::string_view status) const {
  return !items.empty() && items.front().isAtom(status);
}

std::optional<std::size_t> imapResponseLength(std::string_view buffer) {
  std::size_t at = 0;
  while (true) {
    const std::size_t lineEnd = buffer.find('\n', at);
    if (lineEnd == std::string_view::npos) {
      if (buffer.size() - at > kLongestImapLine) return std::nullopt;
      return 0;
    }
    if (lineEnd - at > kLongestImapLine) return std::nullopt;
    std::string_view line = buffer.substr(at, lineEnd - at);
    if (line.ends_with('\r')) line.remove_suffix(1);
    const std::optional<std::uint64_t> count = literalAnnounced(line);
    if (!count) return lineEnd + 1;
    if (*count == kNoCount || *count > kLargestImapLiteral) return std::nullopt;
    const std::size_t literalEnd = lineEnd + 1 + static_cast<std::size_t>(*count);
    if (literalEnd > buffer.size()) return 0;
    at = literalEnd;
  }
}

std::optional<ImapResponse> parseImapResponse(std::string_view response) {
  return Parser(response).response();
}

std::string imapFolderArgument(std::string_view utf8Name) {
  std::string quoted = "\"";
  std::vector<char16_t> pending;  // UTF-16 units of a run outside printable ASCII
  const auto flush = [&] {
    if (pending.empty()) return;
    quoted += '&';
    quoted += modifiedBase64(pending);
    quoted += '-';
    pending.clear();
  };
  for (std::size_t at = 0; at < utf8Name.size();) {
    const char32_t c = nextCodePoint(utf8Name, at);
    if (c >= 0x20 && c <= 0x7E) {
      flush();
      if (c == '&') {
        quoted += "&-";
      } else {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += static_cast<char>(c);
      }
    } else if (c >= 0x10000) {
      const char32_t v = c - 0x10000;
      pending.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      pending.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
      pending.push_back(static_cast<char16_t>(c));
    }
  }
  flush();
  return quoted + "\"";
}

std::optional<std::uint32_t> imapNumber(const ImapValue& value) {
  if (value.kind != ImapValue::Kind::atom || value.text.empty()) return std::nullopt;
  std::uint32_t number = 0;
  const char* begin = value.text.data();
  const char* end = begin + value.text.size();
  const auto [stop, error] = std::from_chars(begin, end, number);
  if (error != std::errc() || stop != end) return std::nullopt;
  return number;
}

}  // namespace vantrel::answers
