#pragma once
// The address of the form-mail receiver that a page's form posts to: the page's ACTION. Pages
// post to the receiver named at build time until the user names their own; a receiver serves
// one path, kFormMailPath.

#include <string>
#include <string_view>
#include <utility>

#include "base/Result.h"

namespace vantrel {

// The one path the receiver serves, and the path of the default address.
inline constexpr std::string_view kFormMailPath = "/cgi-bin/sendmailform.cgi";

class FormMailAddress {
 public:
  // The default: the receiver on the host named at build time (VANTREL_FORMMAIL_HOST).
  FormMailAddress();
  // "http://" + host + kFormMailPath.
  [[nodiscard]] static FormMailAddress onHost(std::string_view host);
  // An address as the user typed it (Windows-1252); empty stands for the default. Anything else
  // must be an absolute http or https URL with a host, without blanks or control characters
  // (which would break the request a browser makes) and without a double quote (which would
  // end the attribute).
  [[nodiscard]] static Result<FormMailAddress> parse(std::string_view typed);

  // The address a survey's page posts to: "umfrage=KEY" added to the query (before any
  // fragment). An empty key leaves the address as it is. The key must be valid (SurveyKey.h).
  [[nodiscard]] FormMailAddress withSurvey(std::string_view key) const;

  [[nodiscard]] const std::string& text() const { return text_; }  // Windows-1252
  // Whether the host is the respondent's own computer (localhost, a loopback address), where
  // no receiver of the form's author listens: the answers of a form posting there go nowhere.
  [[nodiscard]] bool postsToOwnComputer() const;
  bool operator==(const FormMailAddress&) const = default;

 private:
  explicit FormMailAddress(std::string text) : text_(std::move(text)) {}
  std::string text_;
};

}  // namespace vantrel
