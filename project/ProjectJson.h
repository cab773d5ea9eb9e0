#pragma once
// Projects as UTF-8 JSON, for scripts and version control:
//   {"fields":[{"name","type","caption","content","width","height","maxChars","optional",
//               "preselected"}, ...],
//    "email": "...",
//    "settings":{"statusbar","toolbar","print","exit","about","back","forward","home","reload",
//                "exitButton","width","height","definedSize","fixedSize","projectName"}}
// Row members are strings exactly as stored, the element and size flags booleans, width and
// height integers. A project without settings has no "settings".
//
// Errors: ProjectJsonError, what() a German UTF-8 text. Malformed JSON, a missing or unknown
// key, a wrong type, a number outside 32 bits, and any text that Windows-1252 cannot hold are
// refused; nothing is replaced or guessed.

#include <string>
#include <string_view>

#include "base/Error.h"
#include "project/ProjectFile.h"

namespace vantrel {

class ProjectJsonError : public Error {
 public:
  using Error::Error;
};

// Two-space indentation, keys in the order above, ending in a line break.
std::string projectToJson(const Project& project);
Project projectFromJson(std::string_view utf8);

}  // namespace vantrel
