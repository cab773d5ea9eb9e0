#include <gtest/gtest.h>

#include <filesystem>

#include "project/AnyProjectFile.h"
#include "project/ProjectJson.h"
#include "tests/projectfile/FileCases.h"
#include "tests/support/TempFolder.h"

namespace vantrel {
namespace {

using test::fileBytes;
using test::FileCase;
using test::putFile;
using test::TempFolder;

class GoldenJson : public testing::TestWithParam<FileCase> {};

// The .json beside each openable golden file was written by a separate implementation.
TEST_P(GoldenJson, ConvertsToTheJsonBesideItAndBack) {
  const FileCase& entry = GetParam();
  ASSERT_TRUE(std::filesystem::exists(entry.jsonPath())) << entry.jsonPath();
  const std::string json = fileBytes(entry.jsonPath());
  const Project fromFile = readProjectFile(entry.path());
  EXPECT_EQ(projectToJson(fromFile), json);
  const Project fromJson = projectFromJson(json);
  EXPECT_EQ(fromJson, fromFile);
  EXPECT_EQ(projectBytes(fromJson), fileBytes(entry.savedPath()));
}

INSTANTIATE_TEST_SUITE_P(DataFiles, GoldenJson, testing::ValuesIn(test::loadOpenableFileCases()),
                         [](const auto& testInfo) { return test::caseName(testInfo.param); });

TEST(ProjectJson, EveryByteOfEveryTextSurvivesTheRoundTrip) {
  std::string allBytes;
  for (int byte = 0; byte < 256; ++byte) allBytes += static_cast<char>(byte);
  Project project;
  project.fields.append({allBytes, "Textfeld", "", "", "", "", "", "", allBytes});
  project.email = allBytes;
  project.settings = startupSettings();
  project.settings->projectName = allBytes;
  project.settings->width = -2147483647 - 1;
  project.settings->height = 2147483647;
  const std::string json = projectToJson(project);
  EXPECT_EQ(projectFromJson(json), project);
}

TEST(ProjectJson, TextIsUtf8InJsonAndWindows1252InTheModel) {
  const Project project = projectFromJson(
      R"({"fields":[],"email":"gr\u00FC\u00DF@\u20AC.de","settings":{"statusbar":true,
          "toolbar":true,"print":true,"exit":true,"about":true,"back":true,"forward":true,
          "home":true,"reload":true,"exitButton":true,"width":600,"height":440,
          "definedSize":true,"fixedSize":true,"projectName":"Ma\u00DFe ä"}})");
  EXPECT_EQ(project.email, "gr\xFC\xDF@\x80.de");
  ASSERT_TRUE(project.settings);
  // One escaped and one literal UTF-8 character, each one byte in the model.
  EXPECT_EQ(project.settings->projectName,
            "Ma\xDF"
            "e \xE4");
}

TEST(ProjectJson, MissingSettingsMeanNoneAndSaveAsTheStartupValues) {
  const Project project = projectFromJson(R"({"fields":[],"email":"a@b.c"})");
  EXPECT_FALSE(project.settings);
  Project startup = project;
  startup.settings = startupSettings();
  EXPECT_EQ(projectBytes(project), projectBytes(startup));
}

std::string refusal(const std::string& json) {
  try {
    projectFromJson(json);
  } catch (const ProjectJsonError& error) {
    return error.what();
  }
  return "(accepted)";
}

const std::string kField =
    R"({"name":"n","type":"Textfeld","caption":"c","content":"","width":"1","height":"1",)"
    R"("maxChars":"0","optional":"Ja","preselected":"Nein"})";

std::string withCaption(const std::string& captionJson) {
  std::string field = kField;
  field.replace(field.find(R"("c")"), 3, captionJson);
  return R"({"fields":[)" + kField + "," + field + R"(],"email":""})";
}

TEST(ProjectJson, TextOutsideWindows1252IsRefusedNotReplaced) {
  EXPECT_EQ(refusal(withCaption(R"("Zs\u0151fia")")),
            "Der Text von \"fields[1].caption\" enth\xC3\xA4lt ein Zeichen, das Windows-1252 "
            "nicht darstellen kann (U+0151).");
  EXPECT_NE(refusal(withCaption("\"\xE4\xB8\xAD\"")).find("U+4E2D"), std::string::npos);
  EXPECT_NE(refusal(withCaption(R"("\ud83d\ude00")")).find("U+1F600"), std::string::npos);
  EXPECT_NE(refusal(R"({"fields":[],"email":"\u2603"})").find("\"email\""), std::string::npos);
}

TEST(ProjectJson, MalformedOrIncompleteJsonIsRefusedWithItsPlace) {
  EXPECT_EQ(refusal(R"({"fields":[],"email":)"), "Die JSON-Daten sind fehlerhaft (bei Byte 21).");
  EXPECT_NE(refusal("{\"fields\":[],\"email\":\"\xC3\"}").find("fehlerhaft"), std::string::npos);
  EXPECT_EQ(refusal(""), "Die JSON-Daten sind leer.");
  EXPECT_EQ(refusal(R"({"fields":x})"), "Die JSON-Daten sind fehlerhaft (bei Byte 11).");
  EXPECT_EQ(refusal("[]"), "Die JSON-Daten m\xC3\xBCssen ein Objekt sein.");
  EXPECT_EQ(refusal(R"({"email":""})"), "Im JSON fehlt \"fields\".");
  EXPECT_EQ(refusal(R"({"fields":{},"email":""})"), "\"fields\" muss eine Liste sein.");
  EXPECT_EQ(refusal(R"({"fields":[],"email":"","setings":{}})"),
            "Unbekannter Eintrag \"setings\" im JSON.");
  EXPECT_EQ(refusal(R"({"fields":[],"email":"a","email":"b"})"),
            "Der Eintrag \"email\" steht im JSON doppelt.");
  EXPECT_EQ(refusal(withCaption(R"("x","caption":"y")")),
            "Der Eintrag \"caption\" steht im JSON doppelt.");
  EXPECT_EQ(refusal(withCaption("7")), "\"fields[1].caption\" muss ein Text sein.");
  std::string noType = kField;
  noType.replace(noType.find(R"("type":"Textfeld",)"), 18, "");
  EXPECT_EQ(refusal(R"({"fields":[)" + noType + R"(],"email":""})"),
            "Im JSON fehlt \"fields[0].type\".");
}

std::string settingsWith(const std::string& key, const std::string& value) {
  std::string settings = R"({"statusbar":true,"toolbar":true,"print":true,"exit":true,)"
                         R"("about":true,"back":true,"forward":true,"home":true,"reload":true,)"
                         R"("exitButton":true,"width":600,"height":440,"definedSize":true,)"
                         R"("fixedSize":false,"projectName":"Vantrel"})";
  const auto at = settings.find("\"" + key + "\":") + key.size() + 3;
  const auto end = settings.find_first_of(",}", at);
  settings.replace(at, end - at, value);
  return R"({"fields":[],"email":"","settings":)" + settings + "}";
}

TEST(ProjectJson, SettingsNeedTheirTypesAndRanges) {
  EXPECT_EQ(refusal(settingsWith("width", "600")), "(accepted)");
  EXPECT_EQ(refusal(settingsWith("width", "-2147483648")), "(accepted)");
  EXPECT_EQ(refusal(settingsWith("width", "2147483648")),
            "\"settings.width\" liegt au\xC3\x9F"
            "erhalb von -2147483648 bis 2147483647.");
  EXPECT_EQ(refusal(settingsWith("height", "-2147483649")).substr(0, 19), "\"settings.height\" l");
  EXPECT_EQ(refusal(settingsWith("height", "440.5")),
            "\"settings.height\" muss eine ganze Zahl sein.");
  EXPECT_EQ(refusal(settingsWith("height", "-1e400")),
            "Die JSON-Daten enthalten eine zu gro\xC3\x9F"
            "e Zahl.");
  EXPECT_EQ(refusal(settingsWith("height", "\"440\"")),
            "\"settings.height\" muss eine ganze Zahl sein.");
  EXPECT_EQ(refusal(settingsWith("about", "1")), "\"settings.about\" muss true oder false sein.");
  EXPECT_EQ(refusal(settingsWith("fixedSize", "null")),
            "\"settings.fixedSize\" muss true oder false sein.");
}

TEST(AnyProjectFile, ExtensionDecidesTheForm) {
  TempFolder folder;
  const Project project = projectFromJson(fileBytes(test::kVtqDataDir + "rows-umlauts.json"));
  saveProjectToPath(folder.file("a.JSON"), project);
  saveProjectToPath(folder.file("b.Vtq"), project);
  EXPECT_EQ(fileBytes(folder.file("a.JSON")), fileBytes(test::kVtqDataDir + "rows-umlauts.json"));
  EXPECT_EQ(fileBytes(folder.file("b.Vtq")), fileBytes(test::kVtqDataDir + "rows-umlauts.vtq"));
  EXPECT_EQ(loadProjectFromPath(folder.file("a.JSON")), project);
  EXPECT_EQ(loadProjectFromPath(folder.file("b.Vtq")), project);

  EXPECT_THROW(loadProjectFromPath(folder.file("c.txt")), UnknownProjectExtension);
  EXPECT_THROW(saveProjectToPath(folder.file("vtq"), project), UnknownProjectExtension);
  EXPECT_THROW(loadProjectFromPath(folder.file("fehlt.json")), ProjectOpenError);
  EXPECT_THROW(saveProjectToPath(folder.file("fehlt/x.json"), project), ProjectCreateError);
}

}  // namespace
}  // namespace vantrel
