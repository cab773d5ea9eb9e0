// sendmailform.cgi: the receiver as a CGI/1.1 program. The web server passes the request in
// the environment and the body on standard input; the answer goes to standard output.

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "formmail/FormMailHandler.h"
#include "formmail/SmtpSender.h"

using namespace vantrel::formmail;

namespace {

constexpr const char* kDefaultConfigPath = "/etc/vantrel-formmail.conf";

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// CGI programs are started once per post, so the counts live in a file shared under a lock,
// in a folder of this user's own.
std::filesystem::path rateStatePath(const Config& config) {
  if (!config.rateState.empty()) return config.rateState;
  return defaultRateStatePath();
}

// Exactly `length` bytes, or nothing: fewer means the client gave up half-way.
[[nodiscard]] std::optional<std::string> readBody(std::size_t length) {
  std::string body(length, '\0');
  std::cin.read(body.data(), static_cast<std::streamsize>(length));
  if (static_cast<std::size_t>(std::cin.gcount()) != length) return std::nullopt;
  return body;
}

Answer answerPost(const Config& config, const std::string& contentLength) {
  std::size_t length = 0;
  if (!contentLength.empty()) {
    const auto [end, error] =
        std::from_chars(contentLength.data(), contentLength.data() + contentLength.size(), length);
    if (error == std::errc::result_out_of_range)
      return tooLargeAnswer("max_body (Content-Length " + contentLength + ")");
    if (error != std::errc{} || end != contentLength.data() + contentLength.size())
      return incompletePostAnswer();
  }
  // Refused before a byte is read: the size is known from the header.
  if (length > config.maxBody) return tooLargeAnswer(bodyOverLimit(length, config.maxBody));

  PostRequest request;
  request.method = "POST";
  request.contentType = environment("CONTENT_TYPE");
  request.clientAddress = environment("REMOTE_ADDR");
  request.survey = surveyOfQuery(environment("QUERY_STRING"));
  std::optional<std::string> body = readBody(length);
  if (!body) return incompletePostAnswer();
  request.body = std::move(*body);

  const std::unique_ptr<Delivery> delivery = makeDelivery(config);
  FileRateLimiter limiter(rateStatePath(config), config.ratePerMinute);
  // The posts stored lately are kept beside the counts, under the same kind of lock.
  FileRecentPosts recent(recentPostsPathBeside(rateStatePath(config)));
  return FormMailHandler(config, *delivery, limiter, recent).handle(request);
}

Answer answerRequest() {
  if (environment("REQUEST_METHOD") != "POST") return methodNotAllowedAnswer();
  std::filesystem::path configPath = environment("VANTREL_FORMMAIL_CONFIG");
  if (configPath.empty()) configPath = kDefaultConfigPath;
  const vantrel::Result<Config> loaded = loadConfig(configPath);
  if (!loaded) return notConfiguredAnswer(configPath.string() + ": " + loaded.reason());
  return answerPost(loaded.value(), environment("CONTENT_LENGTH"));
}

void writeAnswer(const Answer& answer) {
  std::string head =
      "Status: " + std::to_string(answer.status) + " " + reasonPhrase(answer.status) + "\r\n";
  head += "Content-Type: " + answer.contentType + "\r\n";
  for (const auto& [name, value] : answer.headers) head += name + ": " + value + "\r\n";
  head += "Cache-Control: no-store\r\n\r\n";
  std::cout << head << answer.body;
  std::cout.flush();
}

}  // namespace

int main() {
  std::ios::sync_with_stdio(false);
  initSmtp();
  const Answer answer = answerRequest();
  writeAnswer(answer);
  // The web server puts standard error into its error log.
  if (!answer.logNote.empty()) std::cerr << "sendmailform.cgi: " << answer.logNote << "\n";
  return 0;
}
