#include "base/Failure.h"

namespace vantrel {

std::string filledIn(std::string_view pattern, const std::vector<std::string>& values) {
  std::string text;
  std::size_t next = 0;
  for (std::size_t at = 0; at < pattern.size(); ++at) {
    if (pattern.substr(at, 2) == "%s" && next < values.size()) {
      text += values[next++];
      ++at;
    } else {
      text += pattern[at];
    }
  }
  return text;
}

}  // namespace vantrel
