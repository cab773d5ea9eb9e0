#pragma once
// The receiver's core: one post in, one answer out. Both front ends (the CGI program and
// the standalone server) translate their request into a PostRequest and write the answer.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "formmail/Config.h"
#include "formmail/Delivery.h"
#include "formmail/RateLimiter.h"
#include "formmail/RecentPosts.h"

namespace vantrel::formmail {

struct PostRequest {
  std::string method;
  std::string contentType;
  std::string body;
  std::string clientAddress;
  // The survey key from the address the page posts to ("?umfrage=KEY"), as sent; empty
  // without one.
  std::string survey;
};

struct Answer {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;  // besides Content-Type
  std::string contentType = "text/html; charset=utf-8";
  std::string body;
  std::string logNote;  // for the operator's log; empty when there is nothing to note
};

// Answers that the front ends give before a post reaches the handler.
Answer methodNotAllowedAnswer();
// `limit` names the configuration key that refused the post, with what was over it, for the
// operator's log: "max_body (70000 bytes > 65536)".
Answer tooLargeAnswer(const std::string& limit);
std::string bodyOverLimit(std::size_t size, std::size_t limit);
Answer incompletePostAnswer();
Answer notConfiguredAnswer(const std::string& why);
Answer notFoundAnswer();
// The server has no room for the post now; the browser's user may send it again shortly.
Answer busyAnswer(const std::string& why);

std::string reasonPhrase(int status);

class FormMailHandler {
 public:
  // The handler keeps references; delivery, limiter and recent posts must outlive it.
  // Thread-safe as long as they are (the built-in ones are).
  FormMailHandler(const Config& config, Delivery& delivery, RateLimiter& limiter,
                  RecentPosts& recent)
      : config_(config), delivery_(delivery), limiter_(limiter), recent_(recent) {}

  [[nodiscard]] Answer handle(const PostRequest& request) const;

 private:
  [[nodiscard]] Answer handleFields(const PostedFields& fields, bool utf8Post,
                                    const std::string& client, const std::string& survey) const;
  [[nodiscard]] DeliveryResult deliverMail(const PostedFields& fields, bool utf8Post,
                                           const std::string& survey,
                                           const std::string& recipient) const;
  [[nodiscard]] Answer answerTo(const DeliveryResult& delivered) const;
  // The answer to a post over the rate limit, or whose count cannot be kept; nothing to go on.
  [[nodiscard]] std::optional<Answer> rateRefusal(const std::string& client) const;
  [[nodiscard]] Answer successAnswer() const;

  const Config& config_;
  Delivery& delivery_;
  RateLimiter& limiter_;
  RecentPosts& recent_;
};

// The survey key of a CGI request's query string: the value of "umfrage", empty without one.
// Several values come back joined by ',', which no valid key holds, so the post is refused.
std::string surveyOfQuery(std::string_view query);

}  // namespace vantrel::formmail
