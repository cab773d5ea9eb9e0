#pragma once
// The project file (.vtq): magic, field rows, e-mail address, the ProjectSettings block and
// its echo. All texts are Windows-1252 bytes, all integers little-endian.
//
// Errors of reading and saving; what() is UTF-8 text, ready to show:
//   ProjectOpenError    the file cannot be opened:
//                       "Projekt öffnen: Konnte die Datei NAME nicht öffnen!"
//   NotAProjectFile     the first 21 bytes are not the magic (or the file is shorter):
//                       "Die Datei ist keine gültige "Drovanex 1.0"-Datei!"
//   ProjectCreateError  the file cannot be created or must not be replaced:
//                       "Projekt speichern: Konnte die Datei NAME nicht erstellen!"
//   InOutError          (base/ByteFile.h) a damaged file after a correct magic, or a write
//                       that failed after the file was created; English text such as
//                       "Read beyond end of file.", meant for the general error handler.
// NAME is the part of the path after the last "/".

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/ByteFile.h"
#include "base/Error.h"
#include "project/FieldList.h"
#include "project/ProjectSettings.h"

namespace vantrel {

inline constexpr std::string_view kProjectMagic = "Vantrel Formulare 1.0";

class ProjectOpenError : public Error {
 public:
  explicit ProjectOpenError(const std::filesystem::path& path);
};

class NotAProjectFile : public Error {
 public:
  NotAProjectFile();
};

class ProjectCreateError : public Error {
 public:
  explicit ProjectCreateError(const std::filesystem::path& path);
};

// The tab as the program starts: every element ticked, 600 x 440, defined size, not fixed,
// "Vantrel".
ProjectSettings startupSettings();
// What "Neu" sets: the same, but with "Feste Größe (kein Menü)" ticked.
ProjectSettings newProjectSettings();

struct Project {
  FieldList fields;
  std::string email;
  // Nothing when the file ended right after the e-mail address: the tab keeps its values.
  std::optional<ProjectSettings> settings;

  bool operator==(const Project&) const = default;
};

// Items 5 to 10 of the file: element bytes, width, height, defined size, fixed size, name.
void writeSettingsBlock(ByteWriter& file, const ProjectSettings& settings);
ProjectSettings readSettingsBlock(ByteReader& file);

// The whole layout, all eleven items. A project without settings is written with the
// start-up values.
void writeProject(ByteWriter& file, const Project& project);
std::string projectBytes(const Project& project);

// Reads from the current position into a new project; the caller's state is untouched unless
// this returns. Never reads beyond the project name. Throws NotAProjectFile, InOutError.
Project readProject(ByteReader& file);
Project readProjectBytes(std::string_view bytes);

// Throws ProjectOpenError, NotAProjectFile, InOutError. The file is closed in every case.
Project readProjectFile(const std::filesystem::path& path);

// Replaces the file safely (see replaceFile in base/ByteFile.h): on any failure the old
// file is as it was and no partial file is left. `filter` lets a test put a failing writer in
// front of the file. Throws ProjectCreateError, InOutError.
void saveProjectFile(const std::filesystem::path& path, const Project& project,
                     const WriterFilter& filter = {});

}  // namespace vantrel
