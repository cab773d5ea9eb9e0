#include "project/ProjectFile.h"

#include "base/FailureKinds.h"
#include "base/brixtel.h"

namespace vantrel {
namespace {

// Nine length prefixes: the least a row can take in the file.
constexpr std::uint64_t kSmallestRowSize = std::uint64_t{4} * kFormFieldMemberCount;

FieldList readRows(ByteReader& file) {
  const std::int32_t count = readInt32LE(file);
  FieldList rows;
  if (count <= 0) return rows;
  // Fails as the row-by-row read would, but before a huge count can reserve anything.
  if (static_cast<std::uint64_t>(count) * kSmallestRowSize > file.remaining()) {
    throw InOutError(failure(FileFailure::ReadBeyondEnd));
  }
  for (std::int32_t row = 0; row < count; ++row) {
    FormField field;
    for (int member = 0; member < kFormFieldMemberCount; ++member) {
      memberAt(field, member) = ReadLengthPrefixedString(file);
    }
    rows.append(std::move(field));
  }
  return rows;
}

void writeRows(ByteWriter& file, const FieldList& rows) {
  writeInt32LE(file, rows.size());
  for (const FormField& field : rows.rows()) {
    for (int member = 0; member < kFormFieldMemberCount; ++member) {
      WriteLengthPrefixedString(file, memberAt(field, member));
    }
  }
}

void checkMagic(ByteReader& file) {
  if (file.remaining() < kProjectMagic.size()) throw NotAProjectFile();
  if (readBytes(file, kProjectMagic.size()) != kProjectMagic) throw NotAProjectFile();
}

}  // namespace

ProjectOpenError::ProjectOpenError(const std::filesystem::path& path)
    : Error(vantrel::failure(ProjectFailure::CannotOpen, fileNamePart(path))) {}

NotAProjectFile::NotAProjectFile() : Error(vantrel::failure(ProjectFailure::NotAProjectFile)) {}

ProjectCreateError::ProjectCreateError(const std::filesystem::path& path)
    : Error(vantrel::failure(ProjectFailure::CannotCreate, fileNamePart(path))) {}

ProjectSettings startupSettings() {
  ProjectSettings settings;
  settings.elements.fill(true);
  settings.width = 600;
  settings.height = 440;
  settings.definedSize = true;
  settings.fixedSize = false;
  settings.projectName = "Vantrel";
  return settings;
}

ProjectSettings newProjectSettings() {
  ProjectSettings settings = startupSettings();
  settings.fixedSize = true;
  return settings;
}

void writeSettingsBlock(ByteWriter& file, const ProjectSettings& settings) {
  for (bool ticked : settings.elements) writeByte(file, ticked ? 1 : 0);
  writeInt32LE(file, settings.width);
  writeInt32LE(file, settings.height);
  writeByte(file, settings.definedSize ? 1 : 0);
  writeByte(file, settings.fixedSize ? 1 : 0);
  WriteLengthPrefixedString(file, settings.projectName);
}

ProjectSettings readSettingsBlock(ByteReader& file) {
  ProjectSettings settings;
  for (bool& ticked : settings.elements) ticked = readByte(file) != 0;
  settings.width = readInt32LE(file);
  settings.height = readInt32LE(file);
  settings.definedSize = readByte(file) != 0;
  settings.fixedSize = readByte(file) != 0;
  settings.projectName = ReadLengthPrefixedString(file);
  return settings;
}

void writeProject(ByteWriter& file, const Project& project) {
  const ProjectSettings settings = project.settings.value_or(startupSettings());
  file.write(kProjectMagic);
  writeRows(file, project.fields);
  WriteLengthPrefixedString(file, project.email);
  writeSettingsBlock(file, settings);
  // The echo of width, height and the two size flags; readers skip it.
  writeInt32LE(file, settings.width);
  writeInt32LE(file, settings.height);
  writeByte(file, settings.definedSize ? 1 : 0);
  writeByte(file, settings.fixedSize ? 1 : 0);
}

std::string projectBytes(const Project& project) {
  std::string bytes;
  StringWriter writer(bytes);
  writeProject(writer, project);
  return bytes;
}

Project readProject(ByteReader& file) {
  checkMagic(file);
  Project project;
  project.fields = readRows(file);
  project.email = ReadLengthPrefixedString(file);
  if (!file.atEnd()) project.settings = readSettingsBlock(file);
  return project;
}

Project readProjectBytes(std::string_view bytes) {
  MemoryReader reader(bytes);
  return readProject(reader);
}

Project readProjectFile(const std::filesystem::path& path) {
  try {
    FileReader reader(path);
    return readProject(reader);
  } catch (const CannotOpenFile&) {
    throw ProjectOpenError(path);
  }
}

void saveProjectFile(const std::filesystem::path& path, const Project& project,
                     const WriterFilter& filter) {
  try {
    replaceFile(
        path, [&](ByteWriter& file) { writeProject(file, project); }, filter);
  } catch (const CannotCreateFile&) {
    throw ProjectCreateError(path);
  }
}

}  // namespace vantrel
