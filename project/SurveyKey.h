#pragma once
// The key that tells the answers of one survey from those of another. Every page posts the same
// form id, so a survey carries its key in the receiver's address instead: "?umfrage=KEY". The key
// belongs to the user's tool settings, never to a project file.

#include <cstddef>
#include <string>
#include <string_view>

#include "base/Result.h"

namespace vantrel {

inline constexpr std::size_t kSurveyKeyMaxLength = 40;
inline constexpr std::string_view kSurveyQueryName = "umfrage";

// ASCII letters, digits and '-', 1 to kSurveyKeyMaxLength of them. The receiver takes nothing
// else, so a key never needs escaping in an address, a subject or a file name.
bool isValidSurveyKey(std::string_view key);

// A key as the user typed it, blanks around it taken off: empty for none, else a valid key,
// else ProjectFailure::UnusableSurveyKey.
[[nodiscard]] Result<std::string> surveyKeyFrom(std::string_view typed);

// A key made from a project's name (Windows-1252): letters and digits as they are, the umlauts
// and "ß" as "ae", "oe", "ue", "ss" ("Ä" as "Ae"), every other run as one "-", none at either
// end, cut to kSurveyKeyMaxLength. Empty when the name holds no letter or digit.
std::string proposedSurveyKey(std::string_view projectName);

}  // namespace vantrel
