// What the page and build commands share: the target's prototype and the user's form-mail
// address.

#include <iostream>

#include "base/Win1252.h"
#include "cli/Commands.h"
#include "icon/IconPos.h"
#include "page/FormPage.h"

namespace vantrel::cli {

std::optional<std::string> prototypeOfTarget(const std::string& target) {
  if (target == "windows") return std::string(kPrototypeFileName);
  if (target == "linux") return std::string(kLinuxPrototypeFileName);
  return std::nullopt;
}

std::optional<std::string> actionFromArgument(const std::string& argument) {
  // An address Windows-1252 cannot hold is refused like any other unusable one.
  std::optional<std::string> action = utf8To1252(argument);
  if (!action || !isUsableFormMailAddress(*action)) {
    std::cerr << utf8From1252(kActionRefusedMessage) << "\n";
    return std::nullopt;
  }
  return action;
}

}  // namespace vantrel::cli
