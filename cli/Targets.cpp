// What the page and build commands share: the target's prototype, the user's form-mail
// address and survey key.

#include <iostream>

#include "base/FailureKinds.h"
#include "base/UserMessages.h"
#include "base/Win1252.h"
#include "cli/Commands.h"
#include "icon/IconPos.h"
#include "page/PageFile.h"
#include "project/FormMailAddress.h"
#include "project/SurveyKey.h"

namespace vantrel::cli {

std::optional<std::string> prototypeOfTarget(const std::string& target) {
  if (target == "windows") return std::string(kPrototypeFileName);
  if (target == "linux") return std::string(kLinuxPrototypeFileName);
  return std::nullopt;
}

std::optional<FormMailAddress> actionFromArgument(const std::string& argument) {
  // An address given on the command line is meant to be one: an empty one stands for nothing,
  // and one Windows-1252 cannot hold is refused like any other unusable one.
  const std::optional<std::string> typed = utf8To1252(argument);
  const Result<FormMailAddress> action =
      typed && !typed->empty()
          ? FormMailAddress::parse(*typed)
          : Result<FormMailAddress>(failure(ProjectFailure::UnusableFormMailAddress, argument));
  if (!action) {
    std::cerr << germanMessage(action.failure()) << "\n";
    return std::nullopt;
  }
  return action.value();
}

std::optional<std::string> surveyFromArgument(const std::string& argument) {
  // Like an address, a key given on the command line is meant to be one: empty is refused too.
  const Result<std::string> key = surveyKeyFrom(argument);
  if (!key || key.value().empty()) {
    const Failure refused =
        key ? failure(ProjectFailure::UnusableSurveyKey, argument) : key.failure();
    std::cerr << germanMessage(refused) << "\n";
    return std::nullopt;
  }
  return key.value();
}

void warnOfOwnComputerReceiver(const FormMailAddress& action) {
  if (!action.postsToOwnComputer()) return;
  std::cerr << "Warnung: " << ownComputerReceiverText(action)
            << " Die Adresse Ihres Formular-Empfängers geben Sie mit --action URL an (im "
               "Programm unter \"Einstellungen...\").\n";
}

}  // namespace vantrel::cli
