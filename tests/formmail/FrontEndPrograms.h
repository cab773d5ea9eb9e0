#pragma once
// The two front ends of the receiver as the build puts them, and the path the CGI program is
// posted to.

#include <string>

namespace formmail_test {

inline const std::string kCgi = std::string(VANTREL_BIN_DIR) + "/sendmailform.cgi";
inline const std::string kServer = std::string(VANTREL_BIN_DIR) + "/vantrel-formmail";
inline constexpr const char* kPath = "/cgi-bin/sendmailform.cgi";

}  // namespace formmail_test
