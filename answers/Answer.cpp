#include "answers/Answer.h"

#include <nlohmann/json.hpp>

#include "base/FailureKinds.h"

namespace vantrel::answers {
namespace {

using Json = nlohmann::json;

// The reader takes only what this program writes; the name tells the part from any other JSON
// a mail might carry under the same file name.
constexpr std::string_view kFormatName = "vantrel-antwort";

// Text that came from a post is valid UTF-8 by the time it reaches here; anything else is
// replaced rather than letting the whole answer fail.
std::string dumped(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

[[nodiscard]] bool readString(const Json& object, const char* key, std::string& out) {
  const auto found = object.find(key);
  if (found == object.end() || !found->is_string()) return false;
  out = found->get<std::string>();
  return true;
}

[[nodiscard]] bool readFields(const Json& list, Answer& answer) {
  if (!list.is_array()) return false;
  for (const Json& field : list) {
    std::string name;
    std::string value;
    if (!field.is_object() || !readString(field, "name", name) ||
        !readString(field, "value", value))
      return false;
    answer.fields.emplace_back(std::move(name), std::move(value));
  }
  return true;
}

[[nodiscard]] bool readRequired(const Json& list, Answer& answer) {
  if (!list.is_array()) return false;
  for (const Json& name : list) {
    if (!name.is_string()) return false;
    answer.required.push_back(name.get<std::string>());
  }
  return true;
}

// Walks the text once, outside strings, for its nesting and the number of values it holds, so
// that a part of nested or countless arrays is refused before the parser builds it in memory
// (each value there costs several times its bytes).
[[nodiscard]] Status checkJsonShape(std::string_view text) {
  int depth = 0;
  std::size_t values = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    switch (c) {
      case '"':
        inString = true;
        break;
      case '[':
      case '{':
        if (++depth > kDeepestAnswerJson)
          return failure(AnswerFailure::JsonTooDeep, kDeepestAnswerJson);
        [[fallthrough]];
      case ',':
        if (++values > kMostAnswerJsonValues)
          return failure(AnswerFailure::JsonTooLarge, kMostAnswerJsonValues);
        break;
      case ']':
      case '}':
        --depth;
        break;
      default:
        break;
    }
  }
  return {};
}

}  // namespace

std::string answerJson(const Answer& answer) {
  Json fields = Json::array();
  for (const auto& [name, value] : answer.fields)
    fields.push_back({{"name", name}, {"value", value}});
  // An ordered object keeps the keys in the order a person reading the mail's source expects.
  nlohmann::ordered_json json;
  json["format"] = kFormatName;
  json["version"] = kAnswerFormatVersion;
  json["form_id"] = answer.formId;
  // Only a page with a survey key posts one: without it the part stays as it always was.
  if (!answer.survey.empty()) json["survey"] = answer.survey;
  json["received_utc"] = answer.receivedUtc;
  json["fields"] = fields;
  json["required"] = answer.required;
  return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

Result<Answer> parseAnswerJson(std::string_view text) {
  if (Status shape = checkJsonShape(text); !shape) return shape.failure();
  const Json json = Json::parse(text.begin(), text.end(), nullptr, false);
  if (json.is_discarded() || !json.is_object()) return failure(AnswerFailure::NoJsonObject);
  const auto format = json.find("format");
  if (format == json.end() || !format->is_string() || format->get<std::string>() != kFormatName)
    return failure(AnswerFailure::NotTheFormat);
  const auto version = json.find("version");
  if (version == json.end() || !version->is_number_integer())
    return failure(AnswerFailure::NoVersion);
  if (*version != kAnswerFormatVersion)
    return failure(AnswerFailure::OtherVersion, dumped(*version), kAnswerFormatVersion);
  Answer answer;
  const auto fields = json.find("fields");
  const auto required = json.find("required");
  if (!readString(json, "form_id", answer.formId) ||
      !readString(json, "received_utc", answer.receivedUtc) || fields == json.end() ||
      (json.contains("survey") && !readString(json, "survey", answer.survey)) ||
      !readFields(*fields, answer) || (required != json.end() && !readRequired(*required, answer)))
    return failure(AnswerFailure::FieldMissingOrWrong);
  return answer;
}

}  // namespace vantrel::answers
