#pragma once
// What a user of the tool or of vantrel-cli reads when something fails: the one table that words
// every kind of base/FailureKinds.h in English (the failure's detail) and in German (what the
// windows and the command line show), with "%s" in the English text for each value and "%1",
// "%2"... where the German text puts them. The archive component's failures and kinds whose
// German text is empty are shown as they are defined.

#include <exception>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "base/Failure.h"
#include "base/FailureKinds.h"

namespace vantrel {

struct MessageTranslation {
  FailureKind kind;
  std::string_view english;  // "%s" for each value
  std::string_view german;   // UTF-8; "%1", "%2"... for the values in their English order;
                             // empty for a text defined elsewhere and shown as it is
};

// Every row of the table.
std::span<const MessageTranslation> messageCatalogue();

// The failure in German, UTF-8; its place named in front when it has one.
std::string germanMessage(const Failure& failure);
// The failure an exception carries: one of ours, else one that only has its words.
Failure failureOf(const std::exception& error);
// What an exception says in German: the failure of one of ours, else its own words.
std::string germanMessage(const std::exception& error);

// In German, naming `file` in front when the text does not name it already: for the failures
// of reading a file the user chose, whose texts speak of "the picture".
std::string germanMessageAbout(const std::filesystem::path& file, const Failure& failure);

}  // namespace vantrel
