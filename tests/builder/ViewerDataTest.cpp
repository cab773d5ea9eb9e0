// A built program reading itself back: its record, its settings, its archive and its page,
// and a clear failure for every kind of damage.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "BuilderTestSupport.h"
#include "base/Win1252.h"
#include "fuzz/ArchiveComponentPage.h"
#include "program/ViewerData.h"
#include "program/ViewerRecord.h"
#include "program/ViewerTexts.h"

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

struct DamageCase {
  const char* what;
  std::function<void(std::string&)> damage;
  ViewerError expected;
};

// The reader the Windows viewer compiles (ViewerRecord.h), over the bytes of a program file.
exe::PageBytes readWithoutFileLayer(const std::string& file,
                                    const std::array<unsigned char, exe::kMarkerRecordSize>& record,
                                    std::optional<exe::SettingsInProgram>* settingsRead = nullptr) {
  const exe::ReadAt readAt = [&file](std::uint64_t offset, char* buffer, std::size_t size) {
    if (offset > file.size() || size > file.size() - offset) return false;
    std::copy_n(file.data() + offset, size, buffer);
    return true;
  };
  const exe::RecordInfo info = exe::readMarkerRecord(record);
  const std::optional<exe::SettingsInProgram> settings =
      exe::readWindowSettings(readAt, file.size(), info.programLength);
  if (settingsRead) *settingsRead = settings;
  if (!settings) {
    exe::PageBytes none;
    none.error = ViewerError::DamagedSettings;
    return none;
  }
  return exe::readPageMember(readAt, file.size(), settings->end);
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
    ASSERT_TRUE(exe::buildExe(request).built);
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

TEST_F(ViewerData, TheSharedReaderReadsWhatTheArchiveReaderExtracts) {
  std::optional<exe::SettingsInProgram> inProgram;
  const exe::PageBytes shared = readWithoutFileLayer(built, recordIn(built, kRecordAt), &inProgram);
  ASSERT_TRUE(shared) << shared.detail;
  EXPECT_EQ(shared.bytes, page);
  ASSERT_TRUE(inProgram);
  const ProjectSettings* read = &inProgram->settings.settings;
  EXPECT_EQ(read->projectName, settings.projectName);
  EXPECT_EQ(read->width, 777);
  EXPECT_EQ(read->height, settings.height);
  EXPECT_FALSE(read->elements[static_cast<std::size_t>(WindowElement::About)]);
  EXPECT_TRUE(read->elements[static_cast<std::size_t>(WindowElement::Toolbar)]);
  EXPECT_EQ(read->definedSize, settings.definedSize);
  EXPECT_EQ(read->fixedSize, settings.fixedSize);
  const exe::ViewerPage loaded = load();
  ASSERT_TRUE(loaded);
  EXPECT_EQ(inProgram->end, loaded.archiveStart);
  EXPECT_EQ(inProgram->settings.pagePath, loaded.settings.pagePath);
}

TEST_F(ViewerData, TheSharedReaderRefusesAnArchiveThatDoesNotStartBehindTheSettings) {
  const exe::ReadAt readAt = [this](std::uint64_t offset, char* buffer, std::size_t size) {
    if (offset > built.size() || size > built.size() - offset) return false;
    std::copy_n(built.data() + offset, size, buffer);
    return true;
  };
  const exe::ViewerPage loaded = load();
  ASSERT_TRUE(loaded);
  for (const std::uint64_t start :
       {loaded.archiveStart - 1, loaded.archiveStart + 1, std::uint64_t{0},
        std::uint64_t{built.size()}, std::uint64_t{built.size()} + 5}) {
    EXPECT_EQ(exe::readPageMember(readAt, built.size(), start).error, ViewerError::DamagedArchive)
        << start;
  }
  // A reader that fails mid-way is a failure, never a short page.
  const exe::ReadAt failing = [](std::uint64_t, char*, std::size_t) { return false; };
  EXPECT_FALSE(exe::readPageMember(failing, built.size(), loaded.archiveStart));
  EXPECT_FALSE(exe::readWindowSettings(failing, built.size(), kPrototypeSize));
}

TEST_F(ViewerData, TheBarePrototypeSaysItHoldsNoForm) {
  const auto record = recordIn(decodedPrototype(kPrototypeSize, {kRecordAt}), kRecordAt);
  const exe::ViewerPage loaded = exe::loadViewerPage(program, record, folder.file("out"));
  EXPECT_EQ(loaded.error, ViewerError::BarePrototype);
  EXPECT_NE(viewertext::viewerErrorMessage(loaded.error).find("kein Formular"),
            std::string_view::npos);
}

TEST_F(ViewerData, EveryKindOfDamageIsReportedAsSuch) {
  const std::size_t S = kPrototypeSize;
  const std::size_t L1 = settings.projectName.size();
  using Case = DamageCase;
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
    EXPECT_FALSE(viewertext::viewerErrorMessage(loaded.error).empty());
    // The Windows viewer's reader tells the same damage apart the same way.
    const exe::PageBytes read = readWithoutFileLayer(damaged, recordIn(built, kRecordAt));
    EXPECT_EQ(read.error, c.expected) << c.what << " (shared reader): " << read.detail;
  }
  rewrite();
  EXPECT_TRUE(load());
  EXPECT_EQ(
      exe::loadViewerPage(folder.file("nicht-da"), recordIn(built, kRecordAt), folder.file("out"))
          .error,
      ViewerError::ProgramUnreadable);
}

// The bytes a signer changes and adds: a PE header at the file's start whose certificate
// directory names a table appended behind zero padding to a multiple of 8 bytes.
void putLE32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

constexpr std::size_t kPeAt = 0x80;
constexpr std::size_t kCertificateEntryAt = kPeAt + 24 + 112 + 4 * 8;

std::string withPeHeader(std::string file) {
  file.replace(0, 2, "MZ");
  putLE32(file, 0x3C, kPeAt);
  file.replace(kPeAt, 4, std::string("PE\0\0", 4));
  putLE32(file, kPeAt + 20, 240);       // the optional header's size
  putLE32(file, kPeAt + 24, 0x20B);     // PE32+
  putLE32(file, kPeAt + 24 + 108, 16);  // directory count
  putLE32(file, kCertificateEntryAt, 0);
  putLE32(file, kCertificateEntryAt + 4, 0);
  return file;
}

std::string signedCopy(const std::string& file) {
  std::string result = withPeHeader(file);
  result.resize((result.size() + 7) / 8 * 8, '\0');
  const std::string table = std::string("\x18\0\0\0\0\x02\x02\0", 8) + "signature bytes!";
  putLE32(result, kCertificateEntryAt, static_cast<std::uint32_t>(result.size()));
  putLE32(result, kCertificateEntryAt + 4, static_cast<std::uint32_t>(table.size()));
  return result + table;
}

// Signed and unsigned programs read alike, whatever padding the signer needed; anything else
// after the archive, a damaged certificate directory included, is refused.
TEST_F(ViewerData, ASignedProgramReadsItsPageAndRefusesBytesAfterTheSignature) {
  const exe::ViewerPage unsignedLoad = load();
  ASSERT_TRUE(unsignedLoad);
  const std::string behindPrototype = built.substr(kPrototypeSize);
  const std::size_t tableSize = 24;
  struct Case {
    const char* what;
    std::function<std::string(const std::string&)> make;
    ViewerError expected;
    bool archiveStillWhole = false;  // the viewers refuse the program, its archive is intact
  };
  const std::vector<Case> cases = {
      {"signed", signedCopy, ViewerError::None},
      {"PE header without a signature", withPeHeader, ViewerError::None},
      {"byte after the signature", [](const std::string& f) { return signedCopy(f) + "x"; },
       ViewerError::DamagedArchive},
      {"archive byte changed after signing",
       [&](const std::string& f) {
         std::string s = signedCopy(f);
         s[f.size() - 60] ^= 0x01;
         return s;
       },
       ViewerError::DamagedArchive},
      {"padding not zero",
       [&](const std::string& f) {
         std::string s = signedCopy(f);
         if (s.size() - tableSize > f.size())
           s[f.size()] = 'p';
         else
           s += "x";  // no padding to change: spoil the end instead
         return s;
       },
       ViewerError::DamagedArchive},
      {"table named inside the archive",
       [&](const std::string& f) {
         std::string s = signedCopy(f);
         putLE32(s, kCertificateEntryAt, le32At(s, kCertificateEntryAt) - 8);
         putLE32(s, kCertificateEntryAt + 4, tableSize + 8);
         return s;
       },
       ViewerError::DamagedArchive},
      {"table size beyond the file",
       [&](const std::string& f) {
         std::string s = signedCopy(f);
         putLE32(s, kCertificateEntryAt + 4, tableSize + 1);
         return s;
       },
       ViewerError::DamagedArchive},
      {"table behind an unsigned program's end",
       [&](const std::string& f) {
         std::string s = withPeHeader(f);
         putLE32(s, kCertificateEntryAt, static_cast<std::uint32_t>(s.size()));
         return s;
       },
       ViewerError::DamagedArchive, true},
  };
  // Eight prototype sizes give the signer every padding from none to seven bytes.
  for (std::size_t shift = 0; shift < 8; ++shift) {
    const std::size_t size = kPrototypeSize + shift;
    auto record = recordIn(built, kRecordAt);
    zlb::writeLE32(record.data(), static_cast<std::uint32_t>(size));
    const std::string file = decodedPrototype(size, {kRecordAt}) + behindPrototype;
    for (const Case& c : cases) {
      putFile(program, c.make(file));
      const exe::ViewerPage loaded = exe::loadViewerPage(program, record, folder.file("out"));
      EXPECT_EQ(loaded.error, c.expected) << c.what << ", shift " << shift << ": " << loaded.detail;
      if (c.expected == ViewerError::None) {
        EXPECT_EQ(loaded.page, page) << c.what;
        EXPECT_EQ(loaded.settings, unsignedLoad.settings) << c.what;
      }
      // The archive component (vantrel-cli zlb) opens the programs the viewers open where the
      // data layer says their archive ends, and refuses those whose archive is damaged or
      // followed by anything but a signature.
      bool listed = false;
      try {
        zlb::TZLBArchive archive;
        const std::optional<std::uint64_t> end = exe::archiveEndInFile(program);
        listed = end && archive.OpenArchiveEndingAt(program, *end) && archive.Count() > 0 &&
                 zlb::foldAsciiCase(archive.GetEntry(0).EntryName()) == exe::kViewerPageName;
      } catch (const Error&) {
      }
      EXPECT_EQ(listed, c.expected == ViewerError::None || c.archiveStillWhole)
          << c.what << ", shift " << shift;
    }
  }
}

// The one reader of both viewers and the archive component take every archive of the test data,
// the hostile ones included, behind a program's settings the same way.
TEST(ViewerReaders, TheOneReaderAndTheArchiveComponentAgreeOnEveryTestArchive) {
  TempFolder folder;
  const std::string prototype = decodedPrototype(kPrototypeSize, {kRecordAt});
  exe::WindowSettings settings{someSettings(), "C:\\formular.htm"};
  const std::string settingsBytes = exe::windowSettingsBytes(settings);
  std::array<unsigned char, exe::kMarkerRecordSize> record = recordIn(prototype, kRecordAt);
  zlb::writeLE32(record.data(), kPrototypeSize);
  std::fill(record.begin() + 16, record.end(), 0);

  std::map<exe::PageVerdict, int> seen;
  const fs::path data = fs::path(VANTREL_TEST_DATA_DIR) / "zlb";
  for (const fs::path& archive : {data, data / "hostile"}) {
    for (const auto& item : fs::directory_iterator(archive)) {
      if (item.path().extension() != ".zlb") continue;
      const std::string program = folder.file(item.path().filename().string() + ".exe");
      putFile(program, prototype + settingsBytes + fileBytes(item.path().string()));
      std::string reference;
      const exe::PageVerdict expected =
          exe::archiveComponentPage(program, kPrototypeSize + settingsBytes.size(), reference);
      const exe::ViewerPage loaded = exe::loadViewerPage(program, record, folder.path());
      const exe::PageVerdict verdict = exe::verdictOf(loaded.error);
      EXPECT_EQ(verdict, expected) << item.path() << ": " << loaded.detail;
      if (verdict == exe::PageVerdict::Page && expected == exe::PageVerdict::Page) {
        EXPECT_EQ(loaded.page, reference) << item.path();
        EXPECT_EQ(fileBytes(loaded.pageFile), reference) << item.path();
      }
      ++seen[expected];
    }
  }
  // The data holds each case, so the comparison above is never empty.
  EXPECT_GT(seen[exe::PageVerdict::Page], 0);
  EXPECT_GT(seen[exe::PageVerdict::NoPage], 0);
  EXPECT_GT(seen[exe::PageVerdict::Refused], 0);
}

TEST_F(ViewerData, APageThatCannotBeWrittenIsReportedAsSuch) {
  // The destination is a file, so no page can be written below it.
  putFile(folder.file("out.txt"), "x");
  const exe::ViewerPage loaded =
      exe::loadViewerPage(program, recordIn(built, kRecordAt), folder.file("out.txt"));
  EXPECT_EQ(loaded.error, ViewerError::CannotExtract);
  EXPECT_FALSE(loaded.detail.empty());
  EXPECT_TRUE(loaded.pageFile.empty());
}

TEST(ViewerTexts, EveryFailureHasItsOwnGermanMessageInUtf8) {
  std::set<std::string_view> messages;
  for (const ViewerError error :
       {ViewerError::BarePrototype, ViewerError::DamagedRecord, ViewerError::ProgramUnreadable,
        ViewerError::DamagedSettings, ViewerError::DamagedArchive, ViewerError::NoPage,
        ViewerError::DamagedPage, ViewerError::CannotExtract}) {
    const std::string_view message = viewertext::viewerErrorMessage(error);
    EXPECT_TRUE(utf8To1252(message)) << message;  // UTF-8 that Windows-1252 can hold
    EXPECT_TRUE(messages.insert(message).second) << message;
  }
  EXPECT_EQ(viewertext::viewerErrorMessage(ViewerError::DamagedPage),
            "Die Formularseite dieses Programms ist beschädigt (Prüfsumme falsch).");
  EXPECT_EQ(viewertext::withoutMnemonic(viewertext::kAbout), "Über...");
  EXPECT_EQ(viewertext::withoutMnemonic(viewertext::kMenuFile), "Datei");
}

}  // namespace
}  // namespace vantrel::test
