#include "formmail/Config.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <utility>

#include "formmail/ReceiverFailure.h"

namespace vantrel::formmail {
namespace {

std::string_view trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::string lowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool isAddressChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u <= 0x20 || u >= 0x7F) return false;
  return std::string_view("<>()[]\\,;:\"").find(c) == std::string_view::npos;
}

bool isDomain(std::string_view domain) {
  if (domain.empty() || domain.front() == '.' || domain.back() == '.') return false;
  if (domain.find("..") != std::string_view::npos) return false;
  return std::all_of(domain.begin(), domain.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.';
  });
}

std::optional<std::size_t> parseCount(std::string_view text, std::size_t minimum,
                                      std::size_t maximum) {
  std::size_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || value < minimum ||
      value > maximum) {
    return std::nullopt;
  }
  return value;
}

std::optional<bool> parseBool(std::string_view text) {
  const std::string lower = lowerAscii(text);
  if (lower == "yes" || lower == "true" || lower == "on" || lower == "1") return true;
  if (lower == "no" || lower == "false" || lower == "off" || lower == "0") return false;
  return std::nullopt;
}

// Sets one key, or says what is wrong with the value.
using KeySetter = std::function<Status(Config&, std::string_view)>;

// Where each limit of the table is kept in the configuration.
struct LimitField {
  const Limit& limit;
  void (*store)(Config& config, std::size_t value);
};

const std::array<LimitField, kLimits.size()>& limitFields() {
  static const std::array<LimitField, kLimits.size()> fields{{
      {kMaxBody, [](Config& config, std::size_t value) { config.maxBody = value; }},
      {kMaxFields, [](Config& config, std::size_t value) { config.limits.maxFields = value; }},
      {kMaxFieldLength,
       [](Config& config, std::size_t value) { config.limits.maxFieldLength = value; }},
      // The table's maximum fits an unsigned.
      {kRatePerMinute,
       [](Config& config, std::size_t value) {
         config.ratePerMinute = static_cast<unsigned>(value);
       }},
      {kHeaderTimeout,
       [](Config& config, std::size_t value) {
         config.headerTimeoutSeconds = static_cast<unsigned>(value);
       }},
      {kRequestTimeout,
       [](Config& config, std::size_t value) {
         config.requestTimeoutSeconds = static_cast<unsigned>(value);
       }},
      {kBodyMemory, [](Config& config, std::size_t value) { config.bodyMemory = value; }},
  }};
  return fields;
}

KeySetter limitKey(const LimitField& field) {
  return [field](Config& config, std::string_view value) -> Status {
    const Limit& limit = field.limit;
    const auto count = parseCount(value, limit.minimum, limit.maximum);
    if (!count) return failure(ReceiverFailure::NotACount, limit.key, limit.minimum, limit.maximum);
    field.store(config, *count);
    return {};
  };
}

// A text or a path, taken as written.
template <typename Text>
KeySetter textKey(Text Config::*member) {
  return [=](Config& config, std::string_view value) -> Status {
    config.*member = Text(value);
    return {};
  };
}

Status setAllow(Config& config, std::string_view value) {
  config.allow.clear();
  std::size_t start = 0;
  while (start <= value.size()) {
    std::size_t end = value.find(',', start);
    if (end == std::string_view::npos) end = value.size();
    const std::string_view entry = trimmed(value.substr(start, end - start));
    start = end + 1;
    if (entry.empty()) continue;
    const bool wholeDomain = entry.front() == '@' && isDomain(entry.substr(1));
    if (!wholeDomain && !isPlainAddress(entry)) {
      return failure(ReceiverFailure::AllowNoAddress, entry);
    }
    config.allow.push_back(lowerAscii(entry));
  }
  return {};
}

using KeySetters = std::map<std::string, KeySetter, std::less<>>;

KeySetters makeKeySetters() {
  KeySetters setters = {
      {"allow", setAllow},
      {"sender", textKey(&Config::sender)},
      {"maildir", textKey(&Config::maildir)},
      {"smtp", textKey(&Config::smtp)},
      {"smtp_user", textKey(&Config::smtpUser)},
      {"smtp_password", textKey(&Config::smtpPassword)},
      {"starttls",
       [](Config& config, std::string_view value) -> Status {
         const auto flag = parseBool(value);
         if (!flag) return failure(ReceiverFailure::NotYesOrNo, "starttls");
         config.starttls = *flag;
         return {};
       }},
      {"spool", textKey(&Config::spool)},
      {"rate_state", textKey(&Config::rateState)},
      {"honeypot", textKey(&Config::honeypot)},
      {"success_redirect", textKey(&Config::successRedirect)},
  };
  for (const LimitField& field : limitFields())
    setters.emplace(std::string(field.limit.key), limitKey(field));
  return setters;
}

const KeySetters& keySetters() {
  static const KeySetters setters = makeKeySetters();
  return setters;
}

bool hasControlChar(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// Checks that need every key: what is missing, and what only makes sense together.
Status checkComplete(const Config& config) {
  if (config.allow.empty()) return failure(ReceiverFailure::AllowEmpty);
  if (!isPlainAddress(config.sender)) return failure(ReceiverFailure::SenderNotPlain);
  if (config.smtp.empty() && config.maildir.empty()) return failure(ReceiverFailure::NoDelivery);
  if (!config.smtp.empty() && config.smtp.rfind("smtp://", 0) != 0 &&
      config.smtp.rfind("smtps://", 0) != 0) {
    return failure(ReceiverFailure::SmtpNotAUrl);
  }
  if (!config.successRedirect.empty()) {
    const bool web = config.successRedirect.rfind("http://", 0) == 0 ||
                     config.successRedirect.rfind("https://", 0) == 0 ||
                     config.successRedirect.front() == '/';
    if (!web || hasControlChar(config.successRedirect) ||
        config.successRedirect.find(' ') != std::string::npos) {
      return failure(ReceiverFailure::RedirectNotWeb);
    }
  }
  return {};
}

}  // namespace

bool isPlainAddress(std::string_view address) {
  const std::size_t at = address.find('@');
  if (at == std::string_view::npos || at == 0 ||
      address.find('@', at + 1) != std::string_view::npos)
    return false;
  const std::string_view local = address.substr(0, at);
  // SMTP servers take local parts of at most 64 octets; a longer one passed a domain rule and
  // was refused only at delivery.
  if (local.size() > 64) return false;
  if (!std::all_of(local.begin(), local.end(), isAddressChar)) return false;
  // "%" and "!" route a mail onwards on servers that still honour them
  // (victim%elsewhere@allowed.example), past an allow rule for the whole domain.
  if (local.find_first_of("%!") != std::string_view::npos) return false;
  if (local.front() == '.' || local.back() == '.' || local.find("..") != std::string_view::npos)
    return false;
  return address.size() <= 254 && isDomain(address.substr(at + 1));
}

bool isAllowedRecipient(const Config& config, std::string_view address) {
  if (!isPlainAddress(address)) return false;
  const std::string lower = lowerAscii(address);
  const std::string domain = lower.substr(lower.find('@'));
  return std::any_of(config.allow.begin(), config.allow.end(),
                     [&](const std::string& entry) { return entry == lower || entry == domain; });
}

namespace {

struct ParseState {
  Config config;
  bool inSection = false;
  bool sawSection = false;
};

// One line, already trimmed: a comment, the section header or a key.
Status takeLine(std::string_view line, ParseState& state) {
  if (line.empty() || line.front() == '#' || line.front() == ';') return {};
  if (line.front() == '[') {
    if (line.back() != ']') return failure(ReceiverFailure::SectionWithoutEnd);
    state.inSection = trimmed(line.substr(1, line.size() - 2)) == "formmail";
    if (!state.inSection) return failure(ReceiverFailure::UnknownSection, line);
    state.sawSection = true;
    return {};
  }
  if (!state.inSection) return failure(ReceiverFailure::KeyOutsideSection);
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return failure(ReceiverFailure::NoKeyValue);
  const std::string_view key = trimmed(line.substr(0, equals));
  const auto setter = keySetters().find(key);
  if (setter == keySetters().end()) return failure(ReceiverFailure::UnknownKey, key);
  return setter->second(state.config, trimmed(line.substr(equals + 1)));
}

}  // namespace

Result<Config> parseConfig(std::string_view text) {
  ParseState state;
  std::size_t lineNumber = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    ++lineNumber;
    if (Status taken = takeLine(trimmed(text.substr(start, end - start)), state); !taken)
      return locatedIn("line " + std::to_string(lineNumber), taken.failure());
    start = end + 1;
  }
  if (!state.sawSection) return failure(ReceiverFailure::NoSection);
  if (const Status complete = checkComplete(state.config); !complete) return complete.failure();
  return std::move(state.config);
}

Result<Config> loadConfig(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return failure(ReceiverFailure::CannotOpenConfig, path);
  std::ostringstream text;
  text << file.rdbuf();
  if (file.bad()) return failure(ReceiverFailure::CannotReadConfig, path);
  return parseConfig(text.str());
}

}  // namespace vantrel::formmail
