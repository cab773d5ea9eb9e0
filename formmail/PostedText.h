#pragma once
// The text of a posted name or value, as UTF-8.
//
// The generated page declares no charset, so browsers post Windows-1252 and write every
// character the code page lacks as a numeric character reference ("&#321;" for "Ł"). Such a
// reference is turned back into its character: a browser posting Windows-1252 could not have
// sent that character any other way. Every other '&' text stays as posted: a reference to a
// character the code page holds ("&#65;", "&#8364;") can only have been typed by a person,
// browsers never write named references, and "&amp;" typed stays "&amp;".

#include <string>
#include <string_view>

namespace vantrel::formmail {

// Windows-1252 bytes as UTF-8, with the references described above decoded.
std::string utf8FromPosted1252(std::string_view bytes);

// A post that is UTF-8 (checked by the caller) is taken as it is: its browser could send every
// character itself.
std::string postedText(std::string_view posted, bool utf8Post);

}  // namespace vantrel::formmail
