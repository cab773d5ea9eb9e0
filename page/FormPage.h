#pragma once
// The form page "formular.htm": the field list and the recipient address turned into one HTML
// page whose form posts to the form-mail script. Pure: model in, bytes out.

#include <string>
#include <string_view>

#include "project/FieldList.h"

namespace vantrel {

inline constexpr std::string_view kFormPageFileName = "formular.htm";
inline constexpr std::string_view kFormMailPath = "/cgi-bin/sendmailform.cgi";

// "http://" + host + the script's path.
std::string formMailActionFor(std::string_view host);
// The address compiled into this build (VANTREL_FORMMAIL_HOST): the default until the user
// names the address of their own receiver.
std::string formMailAction();

inline constexpr std::string_view kActionRefusedMessage =
    "Die Adresse des Formular-Empf\xE4ngers muss eine vollst\xE4ndige http- oder https-Adresse "
    "sein (zum Beispiel https://example.org/cgi-bin/sendmailform.cgi), ohne Leerzeichen und "
    "Steuerzeichen.";

// Whether a form-mail address the user typed (Windows-1252) can be the page's ACTION: an
// absolute http or https URL with a host, without blanks or control characters (which would
// break the request a browser makes) and without a double quote (which would end the
// attribute). The failure's reason is kActionRefusedMessage.
[[nodiscard]] bool isUsableFormMailAddress(std::string_view address);

// A double quote would end a double-quoted attribute value early and the browser would post
// a cut-off answer, so it becomes &quot;. Nothing else is touched: an ampersand or a "<" the
// user typed stays as typed.
std::string quoteAttributeValue(std::string_view value);

// The whole page, Windows-1252 bytes, every line ending in CR LF. Captions, headings, plain
// text and the text area's content go in unescaped: markup there is the user's to write.
std::string generateFormPage(const FieldList& fields, std::string_view email,
                             std::string_view action);

}  // namespace vantrel
