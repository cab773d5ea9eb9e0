#pragma once
// Turns a post into a MIME mail: text/plain in UTF-8, quoted-printable, one "name: value"
// line per answer. No posted text reaches a header except the RFC 2047-encoded subject.

#include <chrono>
#include <string>
#include <string_view>

#include "formmail/FormParser.h"

namespace vantrel::formmail {

// The hidden configuration fields and the submit button: never listed as answers.
bool isControlField(std::string_view name);

// The answers in mail order: the names of data_order first (each name once, with every value
// it was posted with), then the other posted fields in post order. Only posted fields appear.
// Names stay Windows-1252 bytes.
PostedFields answersInOrder(const PostedFields& fields, std::string_view dataOrder,
                            std::string_view honeypot);

// Quoted-printable body (RFC 2045) with CR LF line ends. Line breaks of the text (LF, CR LF or
// CR) become line breaks of the mail; every other byte outside printable ASCII is escaped.
std::string quotedPrintable(std::string_view utf8Text);

// A Subject header value: plain when it is short printable ASCII, otherwise RFC 2047 encoded
// words (UTF-8, base64) folded onto continuation lines. CR, LF and NUL are dropped first.
std::string encodeSubject(std::string_view utf8Subject);

struct MailEnvelope {
  std::string sender;     // plain address, checked by the configuration
  std::string recipient;  // plain address from the allow list
  std::string hostName;   // for the Message-ID
  std::chrono::system_clock::time_point date;
  std::string uniqueId;  // makes the Message-ID unique
};

// The whole mail with CR LF line ends, ready for a Maildir file or an SMTP DATA command:
// multipart/mixed with the readable text part and the part "antwort.json" that gives the same
// answers to programs (answers/Answer.h). formId, the fields and the required list (the post's
// comma-separated "required") are Windows-1252, or UTF-8 when utf8Post is set. A survey key
// (valid, see project/SurveyKey.h) goes into the subject, "Formular: ID [KEY]", and into the
// JSON part as "survey", which is "" without one.
std::string composeMail(const MailEnvelope& envelope, std::string_view formId,
                        const PostedFields& answers, bool utf8Post,
                        std::string_view requiredList = {}, std::string_view survey = {});

}  // namespace vantrel::formmail
