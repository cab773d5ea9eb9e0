// Fuzzes the form-mail receiver's reading of a post and what it builds from it. Beyond
// "no crash, no leak":
//  - the parser keeps its limits, and what it read encodes and reads back the same;
//  - the mail built from any post has exactly its own header lines, none longer than 78,
//    and a body of lines of plain ASCII (quoted-printable text, base64 JSON), none longer
//    than 76;
//  - the posted text decoder gives well-formed UTF-8, one character at most per byte read;
//  - the reader of answers finds in that mail exactly the posted answers, form id and
//    required names;
//  - an address the allow list takes can never carry a second address or a line break;
//  - an answer page built from posted names holds no markup that came from the post;
//  - the whole receiver hands a mail on only for exactly one allowed recipient, never
//    answers success for a post it did not hand on, and answers only with known statuses.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "answers/MailPart.h"
#include "base/Win1252.h"
#include "formmail/AnswerPages.h"
#include "formmail/Config.h"
#include "formmail/FormMailHandler.h"
#include "formmail/FormParser.h"
#include "formmail/MailMessage.h"
#include "formmail/PostedText.h"

using namespace vantrel::formmail;

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

std::string urlEncode(std::string_view bytes) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    out += '%';
    out += hex[u >> 4];
    out += hex[u & 15];
  }
  return out;
}

void checkParserKeepsLimitsAndRoundTrips(const vantrel::Result<PostedFields>& parsed,
                                         const FormLimits& limits) {
  if (!parsed) {
    require(!parsed.reason().empty());
    return;
  }
  require(parsed.value().size() <= limits.maxFields);
  std::string again;
  for (const auto& field : parsed.value()) {
    require(field.name.size() <= limits.maxFieldLength &&
            field.value.size() <= limits.maxFieldLength);
    if (!again.empty()) again += '&';
    again += urlEncode(field.name) + "=" + urlEncode(field.value);
  }
  const auto reparsed = parseUrlEncoded(again, limits);
  require(reparsed.ok() && reparsed.value() == parsed.value());
}

void checkMailShape(const std::string& mail) {
  const std::size_t split = mail.find("\r\n\r\n");
  require(split != std::string::npos);
  const std::string head = mail.substr(0, split + 2);
  int headerLines = 0;
  std::size_t start = 0;
  while (start < head.size()) {
    const std::size_t end = head.find("\r\n", start);
    require(end != std::string::npos);
    const std::string_view line(head.data() + start, end - start);
    // A header line is folded to 78 characters where it can be; an address cannot be folded,
    // so "To:" may reach SMTP's limits for an address (254) after its name.
    require(line.size() <= (line.starts_with("To: ") ? 4 + 254 : 78));
    require(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos);
    if (line.front() != ' ') ++headerLines;
    start = end + 2;
  }
  require(headerLines == 7);
  // The parts' lines: at most 76 characters of printable ASCII and tabs, CR LF ended.
  std::string_view body(mail.data() + split + 4, mail.size() - split - 4);
  while (!body.empty()) {
    const std::size_t end = body.find("\r\n");
    require(end != std::string_view::npos && end <= 76);
    const std::string_view line = body.substr(0, end);
    require(std::all_of(line.begin(), line.end(),
                        [](char c) { return c == '\t' || (c >= 0x20 && c < 0x7F); }));
    body.remove_prefix(end + 2);
  }
}

// A post read as Windows-1252 (any bytes are) comes back from the mail's answer part as UTF-8,
// value for value.
void checkAnswerReadsBack(const std::string& mail, std::string_view formId,
                          const PostedFields& answers) {
  const vantrel::answers::MailAnswer read = vantrel::answers::answerInMail(mail);
  require(read.kind == vantrel::answers::MailKind::answer);
  require(read.answer.formId == utf8FromPosted1252(formId));
  require(read.answer.fields.size() == answers.size());
  for (std::size_t i = 0; i < answers.size(); ++i) {
    require(read.answer.fields[i].first == utf8FromPosted1252(answers[i].name));
    require(read.answer.fields[i].second == utf8FromPosted1252(answers[i].value));
  }
  require(read.answer.messageId == "<1@host>");
}

// Keeps what the receiver hands on instead of storing or sending it.
class RecordingDelivery : public Delivery {
 public:
  DeliveryResult deliver(const std::string&, const std::string& recipient,
                         std::string_view mail) override {
    ++count;
    lastRecipient = recipient;
    checkMailShape(std::string(mail));
    return {DeliveryOutcome::Delivered, {}};
  }
  int count = 0;
  std::string lastRecipient;
};

void checkWholeReceiver(std::string_view body, const FormLimits& limits, const PostedFields& fields,
                        bool parsedOk) {
  Config config;
  config.allow = {"info@example.org", "@example.com"};
  config.sender = "formmail@example.org";
  config.maildir = "/nonexistent";
  config.limits = limits;
  config.honeypot = "website";
  RecordingDelivery delivery;
  MemoryRateLimiter unlimited(0);
  MemoryRecentPosts recent;
  const FormMailHandler handler(config, delivery, unlimited, recent);
  const Answer answer =
      handler.handle({"POST", "application/x-www-form-urlencoded", std::string(body), "fuzz", ""});

  static const int known[] = {200, 403, 413, 422};
  require(std::find(std::begin(known), std::end(known), answer.status) != std::end(known));
  require(delivery.count <= 1);
  if (!parsedOk) require(answer.status == 413 && delivery.count == 0);
  if (delivery.count == 1) {
    require(answer.status == 200);
    const auto recipients = valuesOf(fields, "submit_to");
    require(recipients.size() == 1 && isAllowedRecipient(config, delivery.lastRecipient));
  }
  // A success without a delivery is only the honeypot's answer.
  if (answer.status == 200 && delivery.count == 0) {
    const auto trap = valuesOf(fields, "website");
    require(std::any_of(trap.begin(), trap.end(), [](std::string_view v) {
      return v.find_first_not_of(" \t\r\n") != std::string_view::npos;
    }));
  }
}

// The posted text decoder: always well-formed UTF-8; without a reference it is the plain
// conversion; with one, never longer than four bytes for each byte it read.
void checkPostedText(std::string_view bytes) {
  const std::string text = utf8FromPosted1252(bytes);
  require(vantrel::isValidUtf8(text));
  if (bytes.find("&#") == std::string_view::npos) require(text == vantrel::utf8From1252(bytes));
  require(text.size() <= 4 * bytes.size());
  std::size_t characters = 0;
  for (const char c : text) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  require(characters <= bytes.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const FormLimits limits{static_cast<std::size_t>(data[0] % 64) + 1,
                          static_cast<std::size_t>(data[1]) * 4 + 1};
  const std::string_view body(reinterpret_cast<const char*>(data) + 2, size - 2);

  checkPostedText(body);
  const vantrel::Result<PostedFields> parsed = parseUrlEncoded(body, limits);
  checkParserKeepsLimitsAndRoundTrips(parsed, limits);
  static const PostedFields none;
  checkWholeReceiver(body, limits, parsed ? parsed.value() : none, parsed.ok());
  if (!parsed) return 0;
  const PostedFields& fields = parsed.value();

  Config config;
  config.allow = {"info@example.org", "@example.com"};
  for (const auto& value : valuesOf(fields, "submit_to")) {
    if (isAllowedRecipient(config, value)) {
      require(value.find_first_of(std::string_view(" \t\r\n\0,;<>\"", 11)) ==
              std::string_view::npos);
      require(std::count(value.begin(), value.end(), '@') == 1);
    }
  }

  const auto order = valuesOf(fields, "data_order");
  const auto formId = valuesOf(fields, "form_id");
  const PostedFields answers =
      answersInOrder(fields, order.empty() ? "" : order.front(), "website");
  MailEnvelope envelope;
  envelope.sender = "formmail@example.org";
  envelope.recipient = "info@example.org";
  envelope.hostName = "host";
  envelope.uniqueId = "1";
  const bool utf8 = (data[0] & 0x80) != 0;
  const std::string_view id = formId.empty() ? "" : formId.front();
  const std::string mail = composeMail(envelope, id, answers, utf8);
  checkMailShape(mail);
  if (!utf8) checkAnswerReadsBack(mail, id, answers);

  std::vector<std::string> names;
  for (const auto& field : fields) names.push_back(field.name);
  // Each listed name adds exactly its <li> and </li>; any other '<' came from the post.
  static const std::string emptyPage = missingFieldsPage({});
  static const auto emptyPageTags = std::count(emptyPage.begin(), emptyPage.end(), '<');
  const std::string page = missingFieldsPage(names);
  require(std::count(page.begin(), page.end(), '<') ==
          emptyPageTags + 2 * static_cast<long>(names.size()));
  return 0;
}
