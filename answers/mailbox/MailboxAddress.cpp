#include "answers/mailbox/MailboxAddress.h"

#include <charconv>

#include "base/FailureKinds.h"

namespace vantrel::answers {
namespace {

constexpr std::string_view kImaps = "imaps://";
constexpr std::string_view kImap = "imap://";

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Percent-decoding; false for a "%" not followed by two hex digits.
bool percentDecoded(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int high = hexDigit(text[i + 1]);
    const int low = hexDigit(text[i + 2]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return true;
}

std::string percentEncoded(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~';
    if (plain) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  return out;
}

bool parsePort(std::string_view text, int& port) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
  return error == std::errc() && end == text.data() + text.size() && port >= 1 && port <= 65535;
}

// "host", "host:port", "[v6]" or "[v6]:port".
bool parseHostPort(std::string_view text, MailboxAddress& address) {
  std::string_view portText;
  if (text.starts_with("[")) {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    address.host = text.substr(1, close - 1);
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty() && !rest.starts_with(":")) return false;
    if (!rest.empty()) portText = rest.substr(1);
    if (!rest.empty() && !parsePort(portText, address.port)) return false;
  } else {
    const std::size_t colon = text.find(':');
    address.host = text.substr(0, colon);
    if (colon != std::string_view::npos && !parsePort(text.substr(colon + 1), address.port))
      return false;
  }
  return !address.host.empty() && address.host.find_first_of("/?#@ \t\r\n") == std::string::npos;
}

}  // namespace

std::string MailboxAddress::server() const {
  const bool v6 = host.find(':') != std::string::npos;
  return std::string(tlsFromStart ? kImaps : kImap) + percentEncoded(user) + "@" +
         (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string MailboxAddress::text() const { return server() + "/" + percentEncoded(folder); }

bool looksLikeMailboxAddress(std::string_view text) {
  return text.starts_with(kImaps) || text.starts_with(kImap);
}

Result<MailboxAddress> parseMailboxAddress(std::string_view text) {
  const auto refused = [&] { return failure(MailboxFailure::NotAMailboxAddress, text); };
  MailboxAddress address;
  std::string_view rest;
  if (text.starts_with(kImaps)) {
    rest = text.substr(kImaps.size());
  } else if (text.starts_with(kImap)) {
    address.tlsFromStart = false;
    address.port = 143;
    rest = text.substr(kImap.size());
  } else {
    return refused();
  }
  const std::size_t slash = rest.find('/');
  const std::string_view authority = rest.substr(0, slash);
  const std::size_t at = authority.rfind('@');
  if (at == std::string_view::npos || at == 0) return refused();
  const std::string_view userText = authority.substr(0, at);
  // A password in the address would end up in shell histories and process lists.
  if (userText.find(':') != std::string_view::npos) return refused();
  if (!percentDecoded(userText, address.user) || address.user.empty()) return refused();
  if (!parseHostPort(authority.substr(at + 1), address)) return refused();
  if (slash != std::string_view::npos && slash + 1 < rest.size()) {
    const std::string_view folderText = rest.substr(slash + 1);
    if (folderText.find_first_of("?#;") != std::string_view::npos) return refused();
    if (!percentDecoded(folderText, address.folder) || address.folder.empty()) return refused();
  }
  if (address.folder.find_first_of("\r\n") != std::string::npos) return refused();
  return address;
}

}  // namespace vantrel::answers
