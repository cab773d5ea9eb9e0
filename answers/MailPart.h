#pragma once
// Finding the part "antwort.json" in one mail: the headers, multipart bodies nested to a small
// depth, and the transfer encodings a mail system may give the part on its way (base64,
// quoted-printable, 7bit, 8bit, binary). Works on the mail as it lies in memory, with CR LF or LF
// line ends; the callers bound its size.

#include <string>
#include <string_view>

#include "answers/Answer.h"

namespace vantrel::answers {

// The three outcomes of a mail: an answer, a mail without the part (foreign mail, not an error),
// and a mail that has the part but cannot be read (truncated, bad JSON, wrong version ...).
enum class MailKind { answer, withoutAnswerPart, broken };

// A struct, not a Result: a mail without the part is neither an answer nor a failure, and the
// reader counts each kind on its own.
struct MailAnswer {
  MailKind kind = MailKind::withoutAnswerPart;
  Answer answer;    // for MailKind::answer, messageId filled in
  Failure failure;  // for MailKind::broken
};

[[nodiscard]] MailAnswer answerInMail(std::string_view mail);

// The decoders, also for the tests. A Failure for a byte that the encoding does not allow.
[[nodiscard]] Result<std::string> decodeBase64(std::string_view text);
[[nodiscard]] std::string decodeQuotedPrintable(std::string_view text);

// The name of the part, as it stands in Content-Disposition (filename) or Content-Type (name).
inline constexpr std::string_view kAnswerPartName = "antwort.json";

}  // namespace vantrel::answers
