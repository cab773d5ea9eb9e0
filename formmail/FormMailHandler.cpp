#include "formmail/FormMailHandler.h"

#include <algorithm>
#include <chrono>

#include "base/Win1252.h"
#include "formmail/AnswerPages.h"
#include "formmail/MailMessage.h"
#include "formmail/Maildir.h"
#include "formmail/PostedText.h"
#include "formmail/ReceiverFailure.h"
#include "project/SurveyKey.h"

namespace vantrel::formmail {
namespace {

Answer pageAnswer(int status, std::string body, std::string logNote = {}) {
  Answer answer;
  answer.status = status;
  answer.body = std::move(body);
  answer.logNote = std::move(logNote);
  return answer;
}

std::string lowerAscii(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return lower;
}

std::string_view trimmedBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool isBlank(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

struct ContentType {
  bool urlEncoded = false;
  bool utf8 = false;
};

// Browsers send no charset with a urlencoded post: the page's own encoding applies, and the
// generated page has Windows-1252. A post that names UTF-8 is taken at its word.
ContentType readContentType(std::string_view header) {
  const std::string lower = lowerAscii(header);
  const std::string_view mediaType =
      trimmedBlanks(std::string_view(lower).substr(0, lower.find(';')));
  ContentType type;
  type.urlEncoded = mediaType.empty() || mediaType == "application/x-www-form-urlencoded";
  type.utf8 = lower.find("charset=utf-8") != std::string::npos ||
              lower.find("charset=\"utf-8\"") != std::string::npos;
  return type;
}

// A post that says UTF-8 but is not is read as Windows-1252 like any other, so that the mail
// never carries bytes its own charset label calls invalid.
bool readAsUtf8(const PostedFields& fields, bool claimed) {
  return claimed && std::all_of(fields.begin(), fields.end(), [](const FormFieldValue& field) {
           return isValidUtf8(field.name) && isValidUtf8(field.value);
         });
}

std::string firstValue(const PostedFields& fields, std::string_view name) {
  const auto values = valuesOf(fields, name);
  return values.empty() ? std::string() : std::string(values.front());
}

// Names of the required list that have no posted value with something in it, each once.
std::vector<std::string> missingRequired(const PostedFields& fields,
                                         std::string_view requiredList) {
  std::vector<std::string> missing;
  std::size_t start = 0;
  while (start <= requiredList.size()) {
    std::size_t end = requiredList.find(',', start);
    if (end == std::string_view::npos) end = requiredList.size();
    const std::string name(trimmedBlanks(requiredList.substr(start, end - start)));
    start = end + 1;
    if (name.empty() || std::find(missing.begin(), missing.end(), name) != missing.end()) continue;
    const auto values = valuesOf(fields, name);
    if (std::all_of(values.begin(), values.end(), isBlank)) missing.push_back(name);
  }
  return missing;
}

}  // namespace

Answer methodNotAllowedAnswer() {
  Answer answer = pageAnswer(405, methodNotAllowedPage());
  answer.headers.emplace_back("Allow", "POST");
  return answer;
}

Answer tooLargeAnswer(const std::string& limit) {
  return pageAnswer(413, tooLargePage(), "post refused by " + limit);
}

std::string bodyOverLimit(std::size_t size, std::size_t limit) {
  return "max_body (" + std::to_string(size) + " bytes > " + std::to_string(limit) + ")";
}

Answer incompletePostAnswer() {
  return pageAnswer(400, incompletePostPage(), "post body shorter than announced");
}

Answer notConfiguredAnswer(const std::string& why) {
  return pageAnswer(500, notConfiguredPage(), "configuration: " + why);
}

Answer notFoundAnswer() { return pageAnswer(404, notFoundPage()); }

namespace {

Answer notStoredAnswer(std::string why, const char* retryAfterSeconds) {
  Answer answer = pageAnswer(503, notStoredPage(), std::move(why));
  answer.headers.emplace_back("Retry-After", retryAfterSeconds);
  return answer;
}

}  // namespace

Answer busyAnswer(const std::string& why) { return notStoredAnswer("no room: " + why, "60"); }

std::string reasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 303:
      return "See Other";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 413:
      return "Payload Too Large";
    case 415:
      return "Unsupported Media Type";
    case 422:
      return "Unprocessable Content";
    case 429:
      return "Too Many Requests";
    case 500:
      return "Internal Server Error";
    case 502:
      return "Bad Gateway";
    case 503:
      return "Service Unavailable";
    default:
      return "Unknown";
  }
}

Answer FormMailHandler::handle(const PostRequest& request) const {
  if (request.method != "POST") return methodNotAllowedAnswer();
  const std::string client = clientKey(request.clientAddress);
  if (request.body.size() > config_.maxBody)
    return tooLargeAnswer(bodyOverLimit(request.body.size(), config_.maxBody));
  const ContentType type = readContentType(request.contentType);
  if (!type.urlEncoded) return pageAnswer(415, unsupportedFormatPage());

  const Result<PostedFields> parsed = parseUrlEncoded(request.body, config_.limits);
  if (!parsed) {
    const Limit& limit = parsed.is(ReceiverFailure::TooManyFields) ? kMaxFields : kMaxFieldLength;
    return tooLargeAnswer(std::string(limit.key) + " (" + parsed.reason() + ")");
  }
  if (!request.survey.empty() && !isValidSurveyKey(request.survey))
    return pageAnswer(400, surveyRefusedPage(), "survey key refused for " + client);
  return handleFields(parsed.value(), readAsUtf8(parsed.value(), type.utf8), client,
                      request.survey);
}

Answer FormMailHandler::handleFields(const PostedFields& fields, bool utf8Post,
                                     const std::string& client, const std::string& survey) const {
  const auto text = [&](std::string_view posted) { return postedText(posted, utf8Post); };

  // A robot that fills the hidden trap gets the answer a person would get, so it learns nothing.
  if (!config_.honeypot.empty()) {
    const auto trap = valuesOf(fields, config_.honeypot);
    if (!std::all_of(trap.begin(), trap.end(), isBlank)) {
      Answer answer = successAnswer();
      answer.logNote = "honeypot filled by " + client + ", dropped";
      return answer;
    }
  }

  const auto recipients = valuesOf(fields, "submit_to");
  const std::string recipient =
      recipients.size() == 1 ? std::string(trimmedBlanks(recipients.front())) : "";
  if (!isAllowedRecipient(config_, recipient)) {
    return pageAnswer(403, recipientRefusedPage(), "recipient refused for " + client);
  }

  const std::vector<std::string> missing = missingRequired(fields, firstValue(fields, "required"));
  if (!missing.empty()) {
    std::vector<std::string> missingUtf8;
    for (const auto& name : missing) missingUtf8.push_back(text(name));
    return pageAnswer(422, missingFieldsPage(missingUtf8));
  }

  // A repeat is answered as the first post was and costs nothing: neither stored nor counted.
  const std::string post = postIdentity(client, survey, fields);
  const RepeatVerdict repeat = recent_.check(post);
  if (repeat.decision == RepeatDecision::Repeat) {
    Answer answer = successAnswer();
    answer.logNote = "same post again from " + client + " within 10 minutes, not stored";
    return answer;
  }

  // Only a post that would be delivered is counted: refused ones cost the sender nothing, and
  // counting them let a flood of garbage fill the table and lock everybody else out.
  if (auto refused = rateRefusal(client)) return std::move(*refused);

  const DeliveryResult delivered = deliverMail(fields, utf8Post, survey, recipient);
  Answer answer = answerTo(delivered);
  std::vector<std::string> notes{answer.logNote, repeat.why};
  const bool stored = delivered.outcome == DeliveryOutcome::Delivered ||
                      delivered.outcome == DeliveryOutcome::Spooled;
  if (stored) notes.push_back(recent_.remember(post));
  answer.logNote.clear();
  for (const std::string& note : notes) {
    if (note.empty()) continue;
    answer.logNote += (answer.logNote.empty() ? "" : "; ") + note;
  }
  return answer;
}

DeliveryResult FormMailHandler::deliverMail(const PostedFields& fields, bool utf8Post,
                                            const std::string& survey,
                                            const std::string& recipient) const {
  MailEnvelope envelope;
  envelope.sender = config_.sender;
  envelope.recipient = recipient;
  envelope.hostName = localHostName();
  envelope.date = std::chrono::system_clock::now();
  envelope.uniqueId = uniqueDeliveryName();
  const PostedFields answers =
      answersInOrder(fields, firstValue(fields, "data_order"), config_.honeypot);
  const std::string mail = composeMail(envelope, firstValue(fields, "form_id"), answers, utf8Post,
                                       firstValue(fields, "required"), survey);
  return delivery_.deliver(config_.sender, recipient, mail);
}

Answer FormMailHandler::answerTo(const DeliveryResult& delivered) const {
  switch (delivered.outcome) {
    case DeliveryOutcome::Delivered:
      return successAnswer();
    case DeliveryOutcome::Spooled:
      return pageAnswer(503, spooledPage(), delivered.detail);
    case DeliveryOutcome::Refused:
      return pageAnswer(502, mailRefusedPage(), delivered.detail);
    case DeliveryOutcome::Failed:
      break;
  }
  return notStoredAnswer(delivered.detail, "300");
}

std::optional<Answer> FormMailHandler::rateRefusal(const std::string& client) const {
  const RateVerdict rate = limiter_.decide(client);
  if (rate.decision == RateDecision::Unavailable) return notStoredAnswer(rate.why, "300");
  if (rate.decision == RateDecision::Limited) {
    Answer answer = pageAnswer(429, tooManyPostsPage(), "rate limit for " + client);
    answer.headers.emplace_back("Retry-After", "60");
    return answer;
  }
  return std::nullopt;
}

Answer FormMailHandler::successAnswer() const {
  if (config_.successRedirect.empty()) return pageAnswer(200, successPage());
  Answer answer = pageAnswer(303, {});
  answer.headers.emplace_back("Location", config_.successRedirect);
  answer.contentType = "text/plain; charset=utf-8";
  answer.body = redirectText(config_.successRedirect);
  return answer;
}

std::string surveyOfQuery(std::string_view query) {
  const Result<PostedFields> parsed = parseUrlEncoded(query, FormLimits{});
  if (!parsed) return ",";  // a query nobody's page sends: refused like several keys
  std::string survey;
  for (const std::string_view value : valuesOf(parsed.value(), kSurveyQueryName))
    survey += (survey.empty() ? "" : ",") + std::string(value);
  return survey;
}

}  // namespace vantrel::formmail
