#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "base/FailureKinds.h"
#include "project/ProjectFile.h"
#include "tests/projectfile/FileCases.h"
#include "tests/support/TempFolder.h"

namespace vantrel {
namespace {

using test::fileBytes;
using test::FileCase;
using test::putFile;
using test::TempFolder;

const std::string& kDataDir = test::kVtqDataDir;

// The example project: no rows, no e-mail, everything ticked, 600 x 440, defined and fixed size.
const std::string kExampleBytes(
    "Vantrel Formulare 1.0"
    "\0\0\0\0"
    "\0\0\0\0"
    "\1\1\1\1\1\1\1\1\1\1"
    "\x58\x02\0\0"
    "\xB8\x01\0\0"
    "\1"
    "\1"
    "\x07\0\0\0"
    "Vantrel"
    "\x58\x02\0\0\xB8\x01\0\0\1\1",
    70);

Project exampleProject() { return Project{{}, "", newProjectSettings()}; }

Project projectWithRows() {
  Project project;
  project.fields.append(
      {"Vorname", "Textfeld", "Ihr Vorname:", "", "30", "1", "0", "Nein", "Nein"});
  project.fields.append({"",
                         "\xDC"
                         "berschrift",
                         "Gr\xF6\xDF"
                         "e",
                         "", "", "", "", "", ""});
  project.email = "umfrage@example.org";
  project.settings = startupSettings();
  project.settings->element(WindowElement::About) = false;
  project.settings->width = 2000;
  project.settings->projectName = "Kunden \x80";
  return project;
}

TEST(ProjectFile, ExampleProjectIsTheSeventyBytes) {
  EXPECT_EQ(projectBytes(exampleProject()), kExampleBytes);
  EXPECT_EQ(readProjectBytes(kExampleBytes), exampleProject());
}

TEST(ProjectFile, ReaderStopsAfterTheProjectName) {
  MemoryReader reader(kExampleBytes);
  readProject(reader);
  EXPECT_EQ(reader.remaining(), 10u);  // the echo is left alone
}

TEST(ProjectFile, RowsAndTextsSurviveARoundTrip) {
  const Project project = projectWithRows();
  const std::string bytes = projectBytes(project);
  EXPECT_EQ(readProjectBytes(bytes), project);
  // Lengths count bytes: the caption "Größe" is five bytes long.
  EXPECT_NE(bytes.find(std::string("\x05\0\0\0Gr\xF6\xDF"
                                   "e",
                                   9)),
            std::string::npos);
}

TEST(ProjectFile, ProjectWithoutSettingsIsWrittenWithTheStartupValues) {
  Project bare{projectWithRows().fields, "a@b.c", std::nullopt};
  Project withStartup = bare;
  withStartup.settings = startupSettings();
  EXPECT_EQ(projectBytes(bare), projectBytes(withStartup));
}

TEST(ProjectFile, SettingsOfTheGoldenFilesAreReadAsStored) {
  const Project rows = readProjectFile(kDataDir + "rows-umlauts.vtq");
  ASSERT_EQ(rows.fields.size(), 4);
  EXPECT_EQ(rows.fields.at(1).CaptionText,
            "Gr\xF6\xDF"
            "e & Gewicht \x96 \x84Ma\xDF"
            "e\x93 \x80");
  EXPECT_EQ(rows.fields.at(1).Content, "Zeile 1\r\nZeile 2");
  EXPECT_EQ(rows.fields.at(3).TypeText, "Unbekannter Typ");  // kept, not validated
  ASSERT_TRUE(rows.settings);
  // Values outside the spin edits' limits are the GUI's business; the file keeps them.
  EXPECT_EQ(rows.settings->width, 2000);
  EXPECT_EQ(rows.settings->height, 10);
  EXPECT_FALSE(rows.settings->definedSize);
  EXPECT_TRUE(rows.settings->fixedSize);
  EXPECT_FALSE(rows.settings->element(WindowElement::Toolbar));
  EXPECT_TRUE(rows.settings->element(WindowElement::Reload));

  EXPECT_FALSE(readProjectFile(kDataDir + "without-settings.vtq").settings);

  const Project flags = readProjectFile(kDataDir + "nonzero-flags.vtq");
  ASSERT_TRUE(flags.settings);
  EXPECT_EQ(flags.settings->elements, startupSettings().elements);
  EXPECT_TRUE(flags.settings->definedSize);
  EXPECT_TRUE(flags.settings->fixedSize);
}

// ---------------------------------------------------------------------------------------------
// Golden and broken files, listed with their outcome in cases.txt.

std::string outcomeOfOpening(const std::string& path) {
  try {
    readProjectFile(path);
    return "ok";
  } catch (const NotAProjectFile&) {
    return "not-a-project";
  } catch (const InOutError& error) {
    return std::string("io:") + error.what();
  }
}

class ProjectFileCase : public testing::TestWithParam<FileCase> {};

TEST_P(ProjectFileCase, OpensAsListedAndSavesTheListedBytes) {
  const FileCase& entry = GetParam();
  const std::string path = entry.path();
  ASSERT_EQ(outcomeOfOpening(path), entry.outcome);
  // The same bytes give the same outcome from memory, where the fuzzer reads them.
  try {
    readProjectBytes(fileBytes(path));
    EXPECT_EQ(entry.outcome, "ok");
  } catch (const std::exception&) {
    EXPECT_NE(entry.outcome, "ok");
  }
  if (entry.outcome != "ok") return;

  const std::string expected = fileBytes(entry.savedPath());
  TempFolder folder;
  saveProjectFile(folder.file("saved.vtq"), readProjectFile(path));
  EXPECT_EQ(fileBytes(folder.file("saved.vtq")), expected);
}

INSTANTIATE_TEST_SUITE_P(DataFiles, ProjectFileCase, testing::ValuesIn(test::loadFileCases()),
                         [](const auto& testInfo) { return test::caseName(testInfo.param); });

TEST(ProjectFileCases, ListCoversEveryProjectFileInTheFolder) {
  std::vector<std::string> listed;
  for (const auto& entry : test::loadFileCases()) {
    listed.push_back(entry.file);
    if (!entry.savedAs.empty() && entry.savedAs != "same") listed.push_back(entry.savedAs);
  }
  for (const auto& entry : std::filesystem::directory_iterator(kDataDir)) {
    if (entry.path().extension() != ".vtq") continue;
    const std::string name = entry.path().filename().string();
    EXPECT_NE(std::find(listed.begin(), listed.end(), name), listed.end()) << name;
  }
}

// ---------------------------------------------------------------------------------------------
// Opening and saving real files

TEST(ProjectFileOpen, MissingFileAndFolderCannotBeOpened) {
  TempFolder folder;
  try {
    readProjectFile(folder.file("nix.vtq"));
    FAIL();
  } catch (const ProjectOpenError& error) {
    EXPECT_STREQ(error.what(),
                 "Projekt \xC3\xB6"
                 "ffnen: Konnte die Datei nix.vtq nicht \xC3\xB6"
                 "ffnen!");
  }
  EXPECT_THROW(readProjectFile(folder.path().string()), ProjectOpenError);
}

TEST(ProjectFileOpen, WrongMagicHasTheToolsMessage) {
  try {
    readProjectFile(kDataDir + "wrong-magic-byte.vtq");
    FAIL();
  } catch (const NotAProjectFile& error) {
    EXPECT_STREQ(error.what(),
                 "Die Datei ist keine g\xC3\xBC"
                 "ltige \"Drovanex 1.0\"-Datei!");
  }
}

TEST(ProjectFileSave, CreatesReplacesAndKeepsTheFolderClean) {
  TempFolder folder;
  const std::string path = folder.file("Kunden.vtq");
  saveProjectFile(path, exampleProject());
  EXPECT_EQ(fileBytes(path), kExampleBytes);
  saveProjectFile(path, projectWithRows());
  EXPECT_EQ(fileBytes(path), projectBytes(projectWithRows()));
  EXPECT_EQ(folder.entries(), std::vector<std::string>{"Kunden.vtq"});
}

TEST(ProjectFileSave, KeepsPermissionsAndFollowsLinks) {
  TempFolder folder;
  const std::string real = folder.file("real.vtq");
  putFile(real, "old");
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  std::filesystem::create_symlink(real, folder.file("link.vtq"));
  saveProjectFile(folder.file("link.vtq"), exampleProject());
  EXPECT_TRUE(std::filesystem::is_symlink(folder.file("link.vtq")));
  EXPECT_EQ(fileBytes(real), kExampleBytes);
  struct stat info {};
  ASSERT_EQ(stat(real.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST(ProjectFileSave, UncreatableFilesGiveTheToolsMessage) {
  TempFolder folder;
  try {
    saveProjectFile(folder.file("fehlt/Neu.vtq"), exampleProject());
    FAIL();
  } catch (const ProjectCreateError& error) {
    EXPECT_STREQ(error.what(), "Projekt speichern: Konnte die Datei Neu.vtq nicht erstellen!");
  }
  std::filesystem::create_directory(folder.file("ordner.vtq"));
  EXPECT_THROW(saveProjectFile(folder.file("ordner.vtq"), exampleProject()), ProjectCreateError);
  EXPECT_TRUE(std::filesystem::is_directory(folder.file("ordner.vtq")));
  if (geteuid() != 0) {  // root may write anything
    putFile(folder.file("schreibgeschuetzt.vtq"), "old");
    chmod(folder.file("schreibgeschuetzt.vtq").c_str(), 0444);
    EXPECT_THROW(saveProjectFile(folder.file("schreibgeschuetzt.vtq"), exampleProject()),
                 ProjectCreateError);
    EXPECT_EQ(fileBytes(folder.file("schreibgeschuetzt.vtq")), "old");
  }
}

// Passes on `budget` bytes, then fails like a full disk.
class FailingWriter final : public ByteWriter {
 public:
  FailingWriter(ByteWriter& target, std::size_t budget) : target_(target), budget_(budget) {}
  void write(std::string_view bytes) override {
    const std::size_t passed = std::min(bytes.size(), budget_);
    target_.write(bytes.substr(0, passed));
    budget_ -= passed;
    if (passed < bytes.size())
      throw InOutError(failure(FileFailure::WriteFailed, "No space left on device"));
  }
  void flush() override { target_.flush(); }

 private:
  ByteWriter& target_;
  std::size_t budget_;
};

WriterFilter failAfter(std::size_t budget) {
  return [budget](ByteWriter& file) { return std::make_unique<FailingWriter>(file, budget); };
}

TEST(ProjectFileSave, AFailedWriteLeavesTheOldFileAsItWas) {
  TempFolder folder;
  const std::string path = folder.file("Umfrage.vtq");
  saveProjectFile(path, exampleProject());
  const Project replacement = projectWithRows();
  const std::size_t fullSize = projectBytes(replacement).size();
  for (std::size_t budget = 0; budget < fullSize; ++budget) {
    EXPECT_THROW(saveProjectFile(path, replacement, failAfter(budget)), InOutError) << budget;
    ASSERT_EQ(fileBytes(path), kExampleBytes) << "after failing at byte " << budget;
    ASSERT_EQ(folder.entries(), std::vector<std::string>{"Umfrage.vtq"}) << budget;
  }
  saveProjectFile(path, replacement, failAfter(fullSize));
  EXPECT_EQ(fileBytes(path), projectBytes(replacement));
}

TEST(ProjectFileSave, AFailedFirstSaveLeavesNoFile) {
  TempFolder folder;
  EXPECT_THROW(saveProjectFile(folder.file("neu.vtq"), exampleProject(), failAfter(30)),
               InOutError);
  EXPECT_TRUE(folder.entries().empty());
}

}  // namespace
}  // namespace vantrel
