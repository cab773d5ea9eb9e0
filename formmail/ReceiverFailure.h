#pragma once
// The kinds of failure of the receiver: its post parser's, its configuration's and its
// Maildir's. Their English words go to the operator's log (the web server's error log); the
// command line of vantrel-formmail says them in German; the browser only ever gets the German
// answer pages (formmail/AnswerPages.h), chosen by kind.
//
// The last enumerator, `Count`, is no kind: it lets the test visit them all.

#include <cstdint>
#include <string>
#include <string_view>

#include "base/Failure.h"

namespace vantrel::formmail {

enum class ReceiverFailure : std::uint16_t {
  // The post.
  TooManyFields,  // %s: the limit
  FieldTooLong,   // %s: the limit in bytes
  // The configuration; a line's failure is located in "line N".
  SectionWithoutEnd,
  UnknownSection,  // %s: the header as written
  KeyOutsideSection,
  NoKeyValue,
  UnknownKey,      // %s: the key
  NotACount,       // %s: the key, %s: the minimum, %s: the maximum
  NotYesOrNo,      // %s: the key
  AllowNoAddress,  // %s: the entry
  NoSection,
  AllowEmpty,
  SenderNotPlain,
  NoDelivery,
  SmtpNotAUrl,
  RedirectNotWeb,
  CannotOpenConfig,  // %s: path
  CannotReadConfig,  // %s: path
  // The Maildir.
  NoFolder,            // %s: path
  CannotCreateFolder,  // %s: path, %s: the system's words
  CannotCreateMail,    // %s: folder, %s: the system's words
  CannotWriteMail,     // %s: path, %s: the system's words
  CannotCloseMail,     // %s: path, %s: the system's words
  CannotMoveMail,      // %s: path, %s: the system's words
  Count
};

constexpr FailureArea failureArea(ReceiverFailure /*unused*/) { return FailureArea::Receiver; }

// The English words of each kind, "%s" for each value.
std::string_view englishText(ReceiverFailure kind);
// The German words of each kind, "%s" for the same values in the same order.
std::string_view germanText(ReceiverFailure kind);
// What vantrel-formmail's command line says of a failure: the receiver's own kinds in German
// (a line of the configuration as "Zeile N"), the others as base/UserMessages.h words them.
std::string germanReceiverMessage(const Failure& failure);

}  // namespace vantrel::formmail
