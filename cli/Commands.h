#pragma once
// Each command of vantrel-cli takes its own arguments (without the command word) and
// returns the process exit status. Errors go to standard error in the tool's own words.

#include <string>
#include <vector>

namespace vantrel::cli {

using Args = std::vector<std::string>;

struct Command {
  const char* name;
  const char* usage;  // one line for --help
  int (*run)(const Args& args);
};

}  // namespace vantrel::cli
