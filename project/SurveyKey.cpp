#include "project/SurveyKey.h"

#include <algorithm>

#include "base/FailureKinds.h"

namespace vantrel {
namespace {

bool isKeyCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

// The spelling of a Windows-1252 umlaut or "ß" in plain letters; empty for every other byte.
std::string_view umlautSpelling(unsigned char byte) {
  switch (byte) {
    case 0xC4:
      return "Ae";
    case 0xD6:
      return "Oe";
    case 0xDC:
      return "Ue";
    case 0xE4:
      return "ae";
    case 0xF6:
      return "oe";
    case 0xFC:
      return "ue";
    case 0xDF:
      return "ss";
    default:
      return {};
  }
}

void trimDashes(std::string& key) {
  while (!key.empty() && key.back() == '-') key.pop_back();
  const std::size_t first = key.find_first_not_of('-');
  key.erase(0, first == std::string::npos ? key.size() : first);
}

}  // namespace

bool isValidSurveyKey(std::string_view key) {
  return !key.empty() && key.size() <= kSurveyKeyMaxLength &&
         std::all_of(key.begin(), key.end(), isKeyCharacter);
}

Result<std::string> surveyKeyFrom(std::string_view typed) {
  while (!typed.empty() && (typed.front() == ' ' || typed.front() == '\t')) typed.remove_prefix(1);
  while (!typed.empty() && (typed.back() == ' ' || typed.back() == '\t')) typed.remove_suffix(1);
  if (!typed.empty() && !isValidSurveyKey(typed))
    return failure(ProjectFailure::UnusableSurveyKey, typed);
  return std::string(typed);
}

std::string proposedSurveyKey(std::string_view projectName) {
  std::string key;
  for (const char c : projectName) {
    const std::string_view umlaut = umlautSpelling(static_cast<unsigned char>(c));
    if (!umlaut.empty()) {
      key += umlaut;
    } else if (isKeyCharacter(c) && c != '-') {
      key += c;
    } else if (key.empty() || key.back() != '-') {
      key += '-';
    }
    if (key.size() > kSurveyKeyMaxLength) break;
  }
  trimDashes(key);
  if (key.size() > kSurveyKeyMaxLength) key.resize(kSurveyKeyMaxLength);
  trimDashes(key);
  return key;
}

}  // namespace vantrel
