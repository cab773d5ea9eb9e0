#include "answers/MailPart.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "base/FailureKinds.h"

namespace vantrel::answers {
namespace {

// Mails nest multiparts for forwards and signatures; nobody nests them deeper than this, and the
// limit keeps a hostile mail from driving the recursion.
constexpr int kDeepestNesting = 8;

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), lowerAscii);
  return lower;
}

bool equalsCaseless(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return lowerAscii(x) == lowerAscii(y);
         });
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// One line from `text` at `at`, without its line end; `at` moves past the line end.
std::string_view nextLine(std::string_view text, std::size_t& at) {
  const std::size_t end = std::min(text.find('\n', at), text.size());
  std::string_view line = text.substr(at, end - at);
  at = end + (end < text.size() ? 1 : 0);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// A MIME entity: its header block and its body. `complete` is false when the text ends before
// the empty line that closes the headers.
struct Entity {
  std::string_view headers;
  std::string_view body;
  bool complete = false;
};

Entity splitEntity(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t lineStart = at;
    if (nextLine(text, at).empty()) return {text.substr(0, lineStart), text.substr(at), true};
  }
  return {text, {}, false};
}

// The value of the first header of that name, folded lines joined.
std::string headerValue(std::string_view headers, std::string_view name) {
  std::string value;
  bool inside = false;
  for (std::size_t at = 0; at < headers.size();) {
    const std::string_view line = nextLine(headers, at);
    if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
      if (inside) value += line;
      continue;
    }
    if (inside) break;
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && equalsCaseless(trimmed(line.substr(0, colon)), name)) {
      inside = true;
      value = line.substr(colon + 1);
    }
  }
  return std::string(trimmed(value));
}

// "type/subtype" of a Content-Type value, in lower case.
std::string mediaType(std::string_view contentType) {
  return lowered(trimmed(contentType.substr(0, contentType.find(';'))));
}

// A parameter of a structured header value ("...; name=value" or name="quoted value").
std::string parameter(std::string_view value, std::string_view name) {
  std::size_t at = value.find(';');
  while (at != std::string_view::npos && at < value.size()) {
    ++at;
    const std::size_t equals = value.find('=', at);
    if (equals == std::string_view::npos) return {};
    const bool wanted = equalsCaseless(trimmed(value.substr(at, equals - at)), name);
    at = equals + 1;
    while (at < value.size() && isBlank(value[at])) ++at;
    std::string content;
    if (at < value.size() && value[at] == '"') {
      for (++at; at < value.size() && value[at] != '"'; ++at) {
        if (value[at] == '\\' && at + 1 < value.size()) ++at;
        content += value[at];
      }
      at = value.find(';', at);
    } else {
      const std::size_t end = std::min(value.find(';', at), value.size());
      content = trimmed(value.substr(at, end - at));
      at = end;
    }
    if (wanted) return content;
  }
  return {};
}

bool isAnswerPart(std::string_view headers) {
  return equalsCaseless(parameter(headerValue(headers, "Content-Disposition"), "filename"),
                        kAnswerPartName) ||
         equalsCaseless(parameter(headerValue(headers, "Content-Type"), "name"), kAnswerPartName);
}

// The delimiter lines of a multipart body: "--boundary" (blanks may follow) and the closing
// "--boundary--".
enum class Delimiter { none, next, last };

Delimiter delimiterOf(std::string_view line, std::string_view boundary) {
  if (line.size() < boundary.size() + 2 || line.substr(0, 2) != "--" ||
      line.substr(2, boundary.size()) != boundary)
    return Delimiter::none;
  std::string_view rest = line.substr(boundary.size() + 2);
  const bool last = rest.substr(0, 2) == "--";
  if (last) rest.remove_prefix(2);
  if (!trimmed(rest).empty()) return Delimiter::none;
  return last ? Delimiter::last : Delimiter::next;
}

// The parts of a multipart body; nullopt when the closing delimiter is missing (a truncated
// mail). The line break before a delimiter belongs to the delimiter.
std::optional<std::vector<std::string_view>> partsOf(std::string_view body,
                                                     std::string_view boundary) {
  std::vector<std::string_view> parts;
  std::optional<std::size_t> partStart;
  for (std::size_t at = 0; at < body.size();) {
    const std::size_t lineStart = at;
    const Delimiter delimiter = delimiterOf(nextLine(body, at), boundary);
    if (delimiter == Delimiter::none) continue;
    if (partStart) {
      std::size_t end = lineStart;
      if (end > *partStart && body[end - 1] == '\n') --end;
      if (end > *partStart && body[end - 1] == '\r') --end;
      parts.push_back(body.substr(*partStart, end - *partStart));
    }
    if (delimiter == Delimiter::last) return parts;
    partStart = at;
  }
  return std::nullopt;
}

struct Search {
  enum class Outcome { found, notFound, truncated } outcome = Outcome::notFound;
  Entity part;
};

Search findAnswerPart(const Entity& entity, int depth) {
  if (isAnswerPart(entity.headers)) return {Search::Outcome::found, entity};
  const std::string contentType = headerValue(entity.headers, "Content-Type");
  if (depth >= kDeepestNesting || mediaType(contentType).rfind("multipart/", 0) != 0) return {};
  const std::string boundary = parameter(contentType, "boundary");
  if (boundary.empty()) return {};
  const auto parts = partsOf(entity.body, boundary);
  if (!parts) return {Search::Outcome::truncated, {}};
  for (const std::string_view part : *parts) {
    const Entity inner = splitEntity(part);
    Search found = findAnswerPart(inner, depth + 1);
    if (found.outcome != Search::Outcome::notFound) return found;
  }
  return {};
}

MailAnswer broken(Failure failure) {
  MailAnswer mail;
  mail.kind = MailKind::broken;
  mail.failure = std::move(failure);
  return mail;
}

int base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

Result<std::string> decodedBody(const Entity& part) {
  const std::string encoding = lowered(headerValue(part.headers, "Content-Transfer-Encoding"));
  if (encoding == "base64") return decodeBase64(part.body);
  if (encoding == "quoted-printable") return decodeQuotedPrintable(part.body);
  if (encoding.empty() || encoding == "7bit" || encoding == "8bit" || encoding == "binary")
    return std::string(part.body);
  return failure(AnswerFailure::UnknownTransferEncoding);
}

}  // namespace

Result<std::string> decodeBase64(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3);
  std::uint32_t group = 0;
  int bits = 0;
  bool padded = false;
  for (const char c : text) {
    if (isBlank(c)) continue;
    if (c == '=') {
      padded = true;
      continue;
    }
    const int value = base64Value(c);
    if (value < 0 || padded) return failure(AnswerFailure::NotBase64);
    group = (group << 6) | static_cast<std::uint32_t>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((group >> bits) & 0xFF);
    }
  }
  return out;
}

std::string decodeQuotedPrintable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '=') {
      out += text[i];
      continue;
    }
    const std::string_view rest = text.substr(i + 1);
    if (rest.substr(0, 2) == "\r\n") {
      i += 2;  // a soft line break
    } else if (rest.substr(0, 1) == "\n") {
      i += 1;
    } else if (rest.size() >= 2 && hexValue(rest[0]) >= 0 && hexValue(rest[1]) >= 0) {
      out += static_cast<char>(hexValue(rest[0]) * 16 + hexValue(rest[1]));
      i += 2;
    } else {
      out += '=';  // not an escape: kept as it stands, as decoders commonly do
    }
  }
  return out;
}

MailAnswer answerInMail(std::string_view mail) {
  const Entity whole = splitEntity(mail);
  if (!whole.complete) return broken(failure(AnswerFailure::EndsInHeaders));
  const Search search = findAnswerPart(whole, 0);
  if (search.outcome == Search::Outcome::truncated)
    return broken(failure(AnswerFailure::EndsBeforeLastPart));
  if (search.outcome == Search::Outcome::notFound) return {};
  const Result<std::string> json = decodedBody(search.part);
  if (!json) return broken(json.failure());
  Result<Answer> answer = parseAnswerJson(json.value());
  if (!answer) return broken(answer.failure());
  MailAnswer found;
  found.kind = MailKind::answer;
  found.answer = std::move(answer).value();
  found.answer.messageId = headerValue(whole.headers, "Message-ID");
  return found;
}

}  // namespace vantrel::answers
