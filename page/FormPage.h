#pragma once
// The form page "formular.htm": the field list and the recipient address turned into one HTML
// page whose form posts to the form-mail script. Pure: model in, bytes out.

#include <string>
#include <string_view>

#include "project/FieldList.h"
#include "project/FormMailAddress.h"

namespace vantrel {

inline constexpr std::string_view kFormPageFileName = "formular.htm";

// A double quote would end a double-quoted attribute value early and the browser would post
// a cut-off answer, so it becomes &quot;. Nothing else is touched: an ampersand or a "<" the
// user typed stays as typed.
std::string quoteAttributeValue(std::string_view value);

// The whole page, Windows-1252 bytes, every line ending in CR LF. Captions, headings, plain
// text and the text area's content go in unescaped: markup there is the user's to write.
std::string generateFormPage(const FieldList& fields, std::string_view email,
                             const FormMailAddress& action);

}  // namespace vantrel
