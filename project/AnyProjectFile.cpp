#include "project/AnyProjectFile.h"

#include <algorithm>
#include <cctype>

#include "base/FailureKinds.h"
#include "project/ProjectJson.h"

namespace vantrel {
namespace {

std::string lowerExtensionOf(const std::string& path) {
  const std::string name = fileNamePart(path);
  const auto dot = name.rfind('.');
  if (dot == std::string::npos) return {};
  std::string extension = name.substr(dot);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

ProjectFormat formatOrRefuse(const std::string& path) {
  const auto format = projectFormatOf(path);
  if (!format) throw UnknownProjectExtension(path);
  return *format;
}

}  // namespace

UnknownProjectExtension::UnknownProjectExtension(const std::filesystem::path& path)
    : Error(vantrel::failure(ProjectFailure::UnknownExtension, fileNamePart(path))) {}

std::optional<ProjectFormat> projectFormatOf(const std::filesystem::path& path) {
  const std::string extension = lowerExtensionOf(path);
  if (extension == ".vtq") return ProjectFormat::Vtq;
  if (extension == ".json") return ProjectFormat::Json;
  return std::nullopt;
}

Project loadProjectFromPath(const std::filesystem::path& path) {
  if (formatOrRefuse(path) == ProjectFormat::Vtq) return readProjectFile(path);
  std::string text;
  try {
    text = readWholeFile(path);
  } catch (const CannotOpenFile&) {
    throw ProjectOpenError(path);
  }
  return projectFromJson(text);
}

void saveProjectToPath(const std::filesystem::path& path, const Project& project) {
  if (formatOrRefuse(path) == ProjectFormat::Vtq) {
    saveProjectFile(path, project);
    return;
  }
  const std::string text = projectToJson(project);
  try {
    replaceFile(path, [&](ByteWriter& file) { file.write(text); });
  } catch (const CannotCreateFile&) {
    throw ProjectCreateError(path);
  }
}

}  // namespace vantrel
