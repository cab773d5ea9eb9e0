#pragma once
// One answer of a form as the receiver got it, and the JSON it travels in: the mail part
// "antwort.json" that every mail of the receiver carries beside the readable text, so the
// answers can be read back exactly (docs/ANSWER-FORMAT.md describes the format).

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Result.h"

namespace vantrel::answers {

inline constexpr int kAnswerFormatVersion = 1;

// One answer as the receiver got it. All text is UTF-8.
struct Answer {
  std::string formId;
  std::string survey;       // the key of the survey the page posted to; "" without one
  std::string receivedUtc;  // "2026-12-07T17:20:05Z"
  std::vector<std::pair<std::string, std::string>> fields;  // data_order first, then other posted
                                                            // fields; a repeated name repeats
  std::vector<std::string> required;
  std::string messageId;  // the mail's Message-ID (empty for answers read from CSV)
};

// The answer part is checked before it is parsed: a real answer nests three levels deep and
// holds a few values per posted field, so these bounds leave room for any post the receiver
// takes while keeping a hostile part from costing more memory than its own size.
inline constexpr int kDeepestAnswerJson = 8;
inline constexpr std::size_t kMostAnswerJsonValues = 1'000'000;

// The JSON of the mail part "antwort.json" (application/json), and its reader.
[[nodiscard]] std::string answerJson(const Answer& answer);
[[nodiscard]] vantrel::Result<Answer> parseAnswerJson(std::string_view json);

}  // namespace vantrel::answers
