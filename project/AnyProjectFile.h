#pragma once
// Projects by path, in either form the command line handles: a .vtq project file or its JSON
// form (.json). The extension decides, in any letter case.
//
// Errors: UnknownProjectExtension (German what()), and those of the two forms:
// ProjectOpenError, NotAProjectFile, InOutError (project/ProjectFile.h), ProjectJsonError
// (project/ProjectJson.h), ProjectCreateError when saving.

#include <filesystem>
#include <optional>
#include <string>

#include "base/Error.h"
#include "project/ProjectFile.h"

namespace vantrel {

enum class ProjectFormat { Vtq, Json };

class UnknownProjectExtension : public Error {
 public:
  explicit UnknownProjectExtension(const std::filesystem::path& path);
};

[[nodiscard]] std::optional<ProjectFormat> projectFormatOf(const std::filesystem::path& path);

Project loadProjectFromPath(const std::filesystem::path& path);
// Replaces the file safely, as saveProjectFile does, in the form its extension names.
void saveProjectToPath(const std::filesystem::path& path, const Project& project);

}  // namespace vantrel
