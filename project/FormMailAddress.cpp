#include "project/FormMailAddress.h"

#include <algorithm>

#include "base/FailureKinds.h"
#include "project/SurveyKey.h"

namespace vantrel {
namespace {

bool startsWithFolded(std::string_view text, std::string_view lowerPrefix) {
  if (text.size() < lowerPrefix.size()) return false;
  for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
    const char c = text[i];
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower != lowerPrefix[i]) return false;
  }
  return true;
}

// Controls, blanks (the no-break space of Windows-1252 included) and the double quote.
bool breaksTheAddress(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte <= 0x20 || byte == 0x7F || byte == 0xA0 || c == '"';
}

// Where the host begins: after "http://" or "https://", in any case; 0 for any other scheme.
std::size_t hostStart(std::string_view address) {
  if (startsWithFolded(address, "http://")) return 7;
  if (startsWithFolded(address, "https://")) return 8;
  return 0;
}

// The host: up to the path, query or fragment, without the user part and port.
std::string_view hostOf(std::string_view address, std::size_t start) {
  const std::size_t end = address.find_first_of("/?#", start);
  std::string_view authority =
      address.substr(start, end == std::string_view::npos ? end : end - start);
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos)
    authority.remove_prefix(at + 1);
  const std::size_t colon = authority.rfind(':');
  const bool bracketed = !authority.empty() && authority.front() == '[';
  if (colon != std::string_view::npos && (!bracketed || authority.find(']') < colon))
    authority = authority.substr(0, colon);
  return authority;
}

bool isUsable(std::string_view address) {
  const std::size_t start = hostStart(address);
  if (start == 0) return false;
  for (char c : address) {
    if (breaksTheAddress(c)) return false;
  }
  return !hostOf(address, start).empty();
}

bool endsWithFolded(std::string_view text, std::string_view lowerSuffix) {
  return text.size() >= lowerSuffix.size() &&
         startsWithFolded(text.substr(text.size() - lowerSuffix.size()), lowerSuffix);
}

// "localhost" and its subdomains, 127.0.0.0/8 written as four numbers, and IPv6's ::1.
bool isLoopbackHost(std::string_view host) {
  if (!host.empty() && host.back() == '.') host.remove_suffix(1);  // the DNS root's dot
  if (host.size() == 9 ? startsWithFolded(host, "localhost") : endsWithFolded(host, ".localhost"))
    return true;
  if (host == "[::1]" || host == "[0:0:0:0:0:0:0:1]") return true;
  if (host.substr(0, 4) != "127.") return false;
  int dots = 0;
  for (char c : host) {
    if (c == '.')
      ++dots;
    else if (c < '0' || c > '9')
      return false;
  }
  return dots == 3;
}

}  // namespace

bool FormMailAddress::postsToOwnComputer() const {
  const std::size_t start = hostStart(text_);
  return start != 0 && isLoopbackHost(hostOf(text_, start));
}

FormMailAddress::FormMailAddress() : FormMailAddress(onHost(VANTREL_FORMMAIL_HOST)) {}

FormMailAddress FormMailAddress::onHost(std::string_view host) {
  std::string text = "http://";
  text += host;
  text += kFormMailPath;
  return FormMailAddress(std::move(text));
}

Result<FormMailAddress> FormMailAddress::parse(std::string_view typed) {
  if (typed.empty()) return FormMailAddress();
  if (!isUsable(typed)) return failure(ProjectFailure::UnusableFormMailAddress, typed);
  return FormMailAddress(std::string(typed));
}

FormMailAddress FormMailAddress::withSurvey(std::string_view key) const {
  if (key.empty()) return *this;
  std::string text = text_;
  const std::size_t fragment = std::min(text.find('#'), text.size());
  const bool hasQuery = text.find('?') < fragment;
  text.insert(fragment, std::string(hasQuery ? "&" : "?") + std::string(kSurveyQueryName) + "=" +
                            std::string(key));
  return FormMailAddress(std::move(text));
}

}  // namespace vantrel
