#pragma once
// Each command of vantrel-cli takes its own arguments (without the command word) and
// returns the process exit status. Errors go to standard error in the tool's own words.

#include <optional>
#include <string>
#include <vector>

#include "project/FormMailAddress.h"

namespace vantrel::cli {

using Args = std::vector<std::string>;

// The prototype file beside the tool for "windows" or "linux"; nothing for another word.
std::optional<std::string> prototypeOfTarget(const std::string& target);

// A form-mail address given on the command line (UTF-8) as the page's ACTION (Windows-1252),
// or nothing after the German refusal on standard error.
std::optional<FormMailAddress> actionFromArgument(const std::string& argument);

// A survey key given on the command line (--survey), or nothing after the German refusal on
// standard error.
std::optional<std::string> surveyFromArgument(const std::string& argument);

// The German warning on standard error when the page would post to the respondent's own
// computer; the command goes on.
void warnOfOwnComputerReceiver(const FormMailAddress& action);

struct Command {
  const char* name;
  const char* usage;  // one line for --help
  int (*run)(const Args& args);
};

}  // namespace vantrel::cli
