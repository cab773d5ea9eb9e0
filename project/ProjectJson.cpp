#include "project/ProjectJson.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <vector>

#include "base/FailureKinds.h"
#include "base/Win1252.h"

namespace vantrel {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::array<const char*, kFormFieldMemberCount> kMemberKeys = {
    "name", "type", "caption", "content", "width", "height", "maxChars", "optional", "preselected"};

constexpr std::array<const char*, kWindowElementCount> kElementKeys = {
    "statusbar", "toolbar", "print", "exit",   "about",
    "back",      "forward", "home",  "reload", "exitButton"};

// ---------------------------------------------------------------------------------------------
// Model to JSON

Json fieldToJson(const FormField& field) {
  Json object = Json::object();
  for (int member = 0; member < kFormFieldMemberCount; ++member) {
    object[kMemberKeys[static_cast<std::size_t>(member)]] = utf8From1252(memberAt(field, member));
  }
  return object;
}

Json settingsToJson(const ProjectSettings& settings) {
  Json object = Json::object();
  for (std::size_t i = 0; i < kElementKeys.size(); ++i)
    object[kElementKeys[i]] = settings.elements[i];
  object["width"] = settings.width;
  object["height"] = settings.height;
  object["definedSize"] = settings.definedSize;
  object["fixedSize"] = settings.fixedSize;
  object["projectName"] = utf8From1252(settings.projectName);
  return object;
}

// ---------------------------------------------------------------------------------------------
// JSON to model. Every value is checked by its path, so a message can name it.

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

[[noreturn]] void refuse(const std::string& text) {
  throw ProjectJsonError(failure(ProjectFailure::BadJson, text));
}

// The first character of valid UTF-8 that Windows-1252 cannot hold, as "U+XXXX".
std::string firstUnencodable(std::string_view utf8) {
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const auto piece = utf8To1252(utf8.substr(i, length));
    if (!piece) {
      char32_t cp = length == 1 ? lead : lead & (0xFF >> (length + 1));
      for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k) {
        cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
      }
      char name[16];
      std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(cp));
      return name;
    }
    i += length;
  }
  return "?";
}

const Json& member(const Json& object, const char* key, const std::string& path) {
  const auto found = object.find(key);
  if (found == object.end()) refuse("Im JSON fehlt " + quoted(path) + ".");
  return *found;
}

void refuseUnknownKeys(const Json& object, const std::string& path,
                       const std::vector<std::string_view>& known) {
  for (const auto& [key, value] : object.items()) {
    if (std::find(known.begin(), known.end(), key) == known.end()) {
      refuse("Unbekannter Eintrag " + quoted(path.empty() ? key : path + "." + key) + " im JSON.");
    }
  }
}

std::string textOf(const Json& value, const std::string& path) {
  if (!value.is_string()) refuse(quoted(path) + " muss ein Text sein.");
  const auto& utf8 = value.get_ref<const std::string&>();
  auto bytes = utf8To1252(utf8);
  if (!bytes) {
    refuse("Der Text von " + quoted(path) + " enthält ein Zeichen, das Windows-1252 " +
           "nicht darstellen kann (" + firstUnencodable(utf8) + ").");
  }
  return std::move(*bytes);
}

bool flagOf(const Json& value, const std::string& path) {
  if (!value.is_boolean()) refuse(quoted(path) + " muss true oder false sein.");
  return value.get<bool>();
}

std::int32_t int32Of(const Json& value, const std::string& path) {
  constexpr auto low = std::numeric_limits<std::int32_t>::min();
  constexpr auto high = std::numeric_limits<std::int32_t>::max();
  if (!value.is_number_integer()) refuse(quoted(path) + " muss eine ganze Zahl sein.");
  const bool fits = value.is_number_unsigned()
                        ? value.get<std::uint64_t>() <= std::uint64_t{high}
                        : value.get<std::int64_t>() >= low && value.get<std::int64_t>() <= high;
  if (!fits) {
    refuse(quoted(path) + " liegt außerhalb von " + std::to_string(low) + " bis " +
           std::to_string(high) + ".");
  }
  return static_cast<std::int32_t>(value.get<std::int64_t>());
}

FormField fieldFromJson(const Json& object, const std::string& path) {
  if (!object.is_object()) refuse(quoted(path) + " muss ein Objekt sein.");
  refuseUnknownKeys(object, path, {kMemberKeys.begin(), kMemberKeys.end()});
  FormField field;
  for (int index = 0; index < kFormFieldMemberCount; ++index) {
    const char* key = kMemberKeys[static_cast<std::size_t>(index)];
    const std::string memberPath = path + "." + key;
    memberAt(field, index) = textOf(member(object, key, memberPath), memberPath);
  }
  return field;
}

ProjectSettings settingsFromJson(const Json& object) {
  if (!object.is_object()) refuse(quoted("settings") + " muss ein Objekt sein.");
  std::vector<std::string_view> known(kElementKeys.begin(), kElementKeys.end());
  known.insert(known.end(), {"width", "height", "definedSize", "fixedSize", "projectName"});
  refuseUnknownKeys(object, "settings", known);
  ProjectSettings settings;
  auto at = [&](const char* key) -> const Json& {
    return member(object, key, std::string("settings.") + key);
  };
  for (std::size_t i = 0; i < kElementKeys.size(); ++i) {
    settings.elements[i] = flagOf(at(kElementKeys[i]), std::string("settings.") + kElementKeys[i]);
  }
  settings.width = int32Of(at("width"), "settings.width");
  settings.height = int32Of(at("height"), "settings.height");
  settings.definedSize = flagOf(at("definedSize"), "settings.definedSize");
  settings.fixedSize = flagOf(at("fixedSize"), "settings.fixedSize");
  settings.projectName = textOf(at("projectName"), "settings.projectName");
  return settings;
}

// A key given twice would otherwise silently keep its last value.
class DuplicateKeyGuard {
 public:
  bool operator()(int /*depth*/, nlohmann::json::parse_event_t event, Json& parsed) {
    using Event = nlohmann::json::parse_event_t;
    if (event == Event::object_start) keysOfOpenObjects_.emplace_back();
    if (event == Event::object_end) keysOfOpenObjects_.pop_back();
    if (event == Event::key) {
      const auto& key = parsed.get_ref<const std::string&>();
      auto& keys = keysOfOpenObjects_.back();
      if (std::find(keys.begin(), keys.end(), key) != keys.end()) {
        refuse("Der Eintrag " + quoted(key) + " steht im JSON doppelt.");
      }
      keys.push_back(key);
    }
    return true;
  }

 private:
  std::vector<std::vector<std::string>> keysOfOpenObjects_;
};

Json parse(std::string_view utf8) {
  if (utf8.empty()) refuse("Die JSON-Daten sind leer.");
  try {
    DuplicateKeyGuard guard;
    return Json::parse(utf8.begin(), utf8.end(), std::ref(guard));
  } catch (const Json::parse_error& error) {
    // The parser counts from 1 and one past the end when the text stops too early.
    const auto position = std::min<std::size_t>(error.byte, utf8.size());
    refuse("Die JSON-Daten sind fehlerhaft (bei Byte " + std::to_string(position) + ").");
  } catch (const Json::out_of_range&) {
    // A number beyond every floating-point value ("1e400") stops the parser this way.
    refuse("Die JSON-Daten enthalten eine zu große Zahl.");
  }
}

}  // namespace

std::string projectToJson(const Project& project) {
  Json root = Json::object();
  Json fields = Json::array();
  for (const FormField& field : project.fields.rows()) fields.push_back(fieldToJson(field));
  root["fields"] = std::move(fields);
  root["email"] = utf8From1252(project.email);
  if (project.settings) root["settings"] = settingsToJson(*project.settings);
  return root.dump(2) + "\n";
}

Project projectFromJson(std::string_view utf8) {
  const Json root = parse(utf8);
  if (!root.is_object()) refuse("Die JSON-Daten müssen ein Objekt sein.");
  refuseUnknownKeys(root, "", {"fields", "email", "settings"});
  Project project;
  const Json& fields = member(root, "fields", "fields");
  if (!fields.is_array()) refuse(quoted("fields") + " muss eine Liste sein.");
  if (fields.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    refuse(quoted("fields") + " hat zu viele Einträge.");
  }
  for (std::size_t row = 0; row < fields.size(); ++row) {
    project.fields.append(fieldFromJson(fields[row], "fields[" + std::to_string(row) + "]"));
  }
  project.email = textOf(member(root, "email", "email"), "email");
  const auto settings = root.find("settings");
  if (settings != root.end()) project.settings = settingsFromJson(*settings);
  return project;
}

}  // namespace vantrel
