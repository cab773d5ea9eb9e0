// A built program reading itself back: its record, its settings, its archive and its page,
// and a clear failure for every kind of damage.

#include <gtest/gtest.h>

#include <filesystem>

#include "BuilderTestSupport.h"
#include "program/ViewerData.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;
using exe::ViewerError;

constexpr std::size_t kRecordAt = 2048 + 64;
constexpr std::size_t kPrototypeSize = 6000;

std::array<unsigned char, exe::kMarkerRecordSize> recordIn(const std::string& file,
                                                           std::size_t at) {
  std::array<unsigned char, exe::kMarkerRecordSize> record{};
  for (std::size_t i = 0; i < record.size(); ++i)
    record[i] = static_cast<unsigned char>(file.at(at + i));
  return record;
}

class ViewerData : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(folder.file("tool"));
    fs::create_directory(folder.file("out"));
    exe::BuildRequest request;
    request.prototypePath = folder.file("tool/ProtoExe.dat");
    putFile(request.prototypePath, encoded(decodedPrototype(kPrototypeSize, {kRecordAt})));
    FieldList fields;
    fields.append(FormField{"ort", "Textfeld", "Wohnort", "K\xF6ln", "30", "1", "0", "Ja", "Nein"});
    ASSERT_TRUE(writeFormPage(folder.file("tool"), fields, "a@example.org"));
    page = fileBytes(folder.file("tool/formular.htm"));
    request.pagePath = folder.file("tool/formular.htm");
    request.outputPath = program = folder.file("ziel.exe");
    request.settings = someSettings();
    request.settings.width = 777;
    request.settings.element(WindowElement::About) = false;
    settings = request.settings;
    request.tempFolder = folder.file("tool");
    BuildMessageRecorder recorder;
    ASSERT_TRUE(exe::buildExe(request, recorder.sink()).built);
    built = fileBytes(program);
  }

  exe::ViewerPage load() {
    return exe::loadViewerPage(program, recordIn(built, kRecordAt), folder.file("out"));
  }
  void rewrite() { putFile(program, built); }

  TempFolder folder;
  std::string program;
  std::string built;
  std::string page;
  ProjectSettings settings;
};

TEST_F(ViewerData, ReadsItsSettingsAndExtractsThePage) {
  const exe::ViewerPage loaded = load();
  ASSERT_TRUE(loaded) << loaded.detail;
  EXPECT_EQ(loaded.settings.settings, settings);
  EXPECT_EQ(loaded.settings.pagePath, folder.file("tool/formular.htm"));
  EXPECT_EQ(loaded.pageFile, folder.file("out/formular.htm"));
  EXPECT_EQ(fileBytes(loaded.pageFile), page);
  EXPECT_EQ(loaded.archiveStart,
            kPrototypeSize + 28 + settings.projectName.size() + loaded.settings.pagePath.size());
}

TEST(MarkerRecord, TellsPatchedRecordsFromThePrototypeAndFromDamage) {
  const std::string prototype = decodedPrototype(64, {0});
  auto record = recordIn(prototype, 0);
  EXPECT_EQ(exe::readMarkerRecord(record).state, exe::RecordState::BarePrototype);
  record[0] = 0x10;
  record[1] = 0x27;
  record[2] = record[3] = 0;
  for (std::size_t i = 16; i < 20; ++i) record[i] = 0;
  const exe::RecordInfo patched = exe::readMarkerRecord(record);
  EXPECT_EQ(patched.state, exe::RecordState::Patched);
  EXPECT_EQ(patched.programLength, 10000u);
  auto foreign = record;
  foreign[9] = 'X';  // another viewer's tag
  EXPECT_EQ(exe::readMarkerRecord(foreign).state, exe::RecordState::Damaged);
  auto halfPatched = record;
  halfPatched[18] = 1;
  EXPECT_EQ(exe::readMarkerRecord(halfPatched).state, exe::RecordState::Damaged);
}

TEST_F(ViewerData, TheBarePrototypeSaysItHoldsNoForm) {
  const auto record = recordIn(decodedPrototype(kPrototypeSize, {kRecordAt}), kRecordAt);
  const exe::ViewerPage loaded = exe::loadViewerPage(program, record, folder.file("out"));
  EXPECT_EQ(loaded.error, ViewerError::BarePrototype);
  EXPECT_NE(exe::viewerErrorMessage(loaded.error).find("kein Formular"), std::string_view::npos);
}

TEST_F(ViewerData, EveryKindOfDamageIsReportedAsSuch) {
  const std::size_t S = kPrototypeSize;
  const std::size_t L1 = settings.projectName.size();
  struct Case {
    const char* what;
    std::function<void(std::string&)> damage;
    ViewerError expected;
  };
  const std::vector<Case> cases = {
      {"cut inside the settings", [&](std::string& b) { b.resize(S + 20); },
       ViewerError::DamagedSettings},
      {"cut before the settings", [&](std::string& b) { b.resize(S - 1); },
       ViewerError::DamagedSettings},
      {"name longer than the file", [&](std::string& b) { b[S + 23] = '\x7F'; },
       ViewerError::DamagedSettings},
      {"negative name length", [&](std::string& b) { b[S + 23] = '\x80'; },
       ViewerError::DamagedSettings},
      {"path one byte short",
       [&](std::string& b) { b[S + 24 + L1] = static_cast<char>(b[S + 24 + L1] - 1); },
       ViewerError::DamagedArchive},
      {"archive byte flipped", [&](std::string& b) { b[b.size() - 60] ^= 0x01; },
       ViewerError::DamagedArchive},
      {"archive cut", [&](std::string& b) { b.resize(b.size() - 1); }, ViewerError::DamagedArchive},
  };
  for (const Case& c : cases) {
    std::string damaged = built;
    c.damage(damaged);
    putFile(program, damaged);
    const exe::ViewerPage loaded = load();
    EXPECT_EQ(loaded.error, c.expected) << c.what << ": " << loaded.detail;
    EXPECT_FALSE(exe::viewerErrorMessage(loaded.error).empty());
  }
  rewrite();
  EXPECT_TRUE(load());
  EXPECT_EQ(
      exe::loadViewerPage(folder.file("nicht-da"), recordIn(built, kRecordAt), folder.file("out"))
          .error,
      ViewerError::ProgramUnreadable);
}

}  // namespace
}  // namespace vantrel::test
