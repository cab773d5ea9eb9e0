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
// The address compiled into this build (VANTREL_FORMMAIL_HOST); the user cannot change it.
std::string formMailAction();

// A double quote would end a double-quoted attribute value early and the browser would post
// a cut-off answer, so it becomes &quot;. Nothing else is touched: an ampersand or a "<" the
// user typed stays as typed.
std::string quoteAttributeValue(std::string_view value);

// The whole page, Windows-1252 bytes, every line ending in CR LF. Captions, headings, plain
// text and the text area's content go in unescaped: markup there is the user's to write.
std::string generateFormPage(const FieldList& fields, std::string_view email,
                             std::string_view action);

}  // namespace vantrel
