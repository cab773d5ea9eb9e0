#include "archive/PathSafety.h"

#include <algorithm>

namespace vantrel::zlb {
namespace {

bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool startsWithDrive(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' && isAsciiLetter(path[0]);
}

}  // namespace

bool isSafeEntryName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return std::none_of(name.begin(), name.end(),
                      [](char c) { return c == '\0' || isPathSeparator(c); });
}

std::optional<std::vector<std::string>> safeFolderSteps(std::string_view entryPath) {
  if (startsWithDrive(entryPath)) return std::nullopt;
  if (entryPath.find('\0') != std::string_view::npos) return std::nullopt;
  std::vector<std::string> steps;
  std::string step;
  // Ends the step read so far; false when it climbs out of the destination.
  auto finishStep = [&] {
    if (step == "..") return false;
    if (!step.empty() && step != ".") steps.push_back(step);
    step.clear();
    return true;
  };
  for (const char c : entryPath) {
    if (!isPathSeparator(c)) {
      step += c;
    } else if (!finishStep()) {
      return std::nullopt;
    }
  }
  if (!finishStep()) return std::nullopt;
  return steps;
}

}  // namespace vantrel::zlb
