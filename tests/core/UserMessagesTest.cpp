// The German texts users read for the core's failures, looked up by kind.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "archive/ArchiveMessages.h"
#include "archive/ZLIBArchive.h"
#include "base/ByteFile.h"
#include "base/UserMessages.h"

using namespace vantrel;

namespace {

std::size_t placeholdersIn(std::string_view pattern) {
  std::size_t count = 0;
  for (auto at = pattern.find("%s"); at != std::string_view::npos; at = pattern.find("%s", at + 2))
    ++count;
  return count;
}

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

template <typename Kind>
void collectKinds(std::vector<FailureKind>& kinds) {
  for (int code = 0; code < static_cast<int>(Kind::Count); ++code)
    kinds.push_back(kindOf(static_cast<Kind>(code)));
}

}  // namespace

// Each failure keeps the English words the logs and the tests read, and reads in German.
TEST(UserMessages, FailuresOfTheCoreReadInGermanAndNameTheirFile) {
  struct Case {
    Failure failure;
    const char* english;
    const char* german;
  };
  const Case cases[] = {
      {failure(FileFailure::CannotOpen, "nix.png", "No such file or directory"),
       "Cannot open nix.png: No such file or directory",
       "Die Datei nix.png kann nicht geöffnet werden: Datei oder Verzeichnis nicht gefunden."},
      {failure(FileFailure::CannotOpenPlain, std::filesystem::path("/a/ProtoExe.dat")),
       "Cannot open /a/ProtoExe.dat.", "Die Datei /a/ProtoExe.dat kann nicht geöffnet werden."},
      {failure(FileFailure::CannotCreateBeside, "/tmp/x/ziel.exe", "Permission denied"),
       "Cannot create a file in the folder of /tmp/x/ziel.exe: Permission denied.",
       "Im Ordner der Datei /tmp/x/ziel.exe kann keine Datei angelegt werden: Zugriff verweigert."},
      {failure(FileFailure::CannotCreate, "/tmp/x.vtq", "Permission denied"),
       "Cannot create /tmp/x.vtq: Permission denied",
       "Die Datei /tmp/x.vtq kann nicht erstellt werden: Zugriff verweigert."},
      {failure(PictureFailure::Unreadable, "png", "Unbekannter Fehler"),
       "The png picture cannot be read: Unbekannter Fehler.",
       "Die Datei ist kein lesbares Bild im Format png (Unbekannter Fehler)."},
      {failure(FileFailure::TextTooLong), "Write error: text too long for a length prefix.",
       "Schreibfehler: Der Text ist zu lang für die Längenangabe vor ihm."},
      {failure(FileFailure::WriteFailed, "No space left on device"),
       "Write error: No space left on device.",
       "Schreibfehler: Kein Speicherplatz mehr auf dem Gerät."},
      {failure(FileFailure::WriteFailedPlain), "Write error.", "Schreibfehler."},
      {failure(FileFailure::CannotReplace, "/a/formular.htm", "Input/output error"),
       "Cannot replace /a/formular.htm: Input/output error.",
       "Die Datei /a/formular.htm kann nicht ersetzt werden: Ein- oder Ausgabefehler."},
      {failure(FileFailure::CannotSync, "/a/ziel", "Input/output error"),
       "Cannot write the files in /a/ziel to disk: Input/output error.",
       "Die Dateien im Ordner /a/ziel können nicht auf den Datenträger geschrieben werden: "
       "Ein- oder Ausgabefehler."},
      {failure(PictureFailure::TooLarge, 70000, 70000, 100000000),
       "The picture is too large (70000 x 70000 pixels; at most 100000000 pixels are loaded).",
       "Das Bild ist zu groß (70000 x 70000 Bildpunkte; höchstens 100000000 Bildpunkte werden "
       "geladen)."},
      {failure(PictureFailure::JpegError, "Premature end of JPEG file"),
       "JPEG error: Premature end of JPEG file.", "Die Datei ist kein lesbares JPEG-Bild."},
      {failure(BuildFailure::CannotOpen, "/a/ProtoExe.dat"), "Unable to open /a/ProtoExe.dat",
       "Die Datei /a/ProtoExe.dat kann nicht geöffnet werden."},
      {locatedIn("/m/cur/1", failure(AnswerFailure::OtherVersion, 2, 1)),
       "/m/cur/1: The answer part has version 2, not 1.",
       "/m/cur/1: Der Antwortteil (antwort.json) hat die Version 2, lesbar ist Version 1."},
      // Defined texts, and texts that only have their words, stay as they are.
      {failure(FileFailure::ReadBeyondEnd), "Read beyond end of file.", "Read beyond end of file."},
      {failure(ProjectFailure::BadJson, "Im JSON fehlt \"fields\"."), "Im JSON fehlt \"fields\".",
       "Im JSON fehlt \"fields\"."},
      {unknownFailure("std::bad_alloc"), "std::bad_alloc", "std::bad_alloc"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.failure.detail, c.english);
    EXPECT_EQ(germanMessage(c.failure), c.german) << c.english;
  }

  EXPECT_EQ(germanMessageAbout("/tmp/nix.png", failure(PictureFailure::Unreadable, "png", "X")),
            "nix.png: Die Datei ist kein lesbares Bild im Format png (X).");
  EXPECT_EQ(germanMessageAbout("/tmp/nix.png",
                               failure(FileFailure::CannotOpen, "/tmp/nix.png", "Is a directory")),
            "Die Datei /tmp/nix.png kann nicht geöffnet werden: Ist ein Verzeichnis.");
}

// An exception carries its failure; the archive component's are shown as it words them.
TEST(UserMessages, ExceptionsAreReadByTheirFailure) {
  const InOutError written(failure(FileFailure::WriteFailed, "Input/output error"));
  EXPECT_STREQ(written.what(), "Write error: Input/output error.");
  EXPECT_EQ(germanMessage(written), "Schreibfehler: Ein- oder Ausgabefehler.");
  EXPECT_TRUE(failureOf(written).is(FileFailure::WriteFailed));

  const zlb::EArchiveError archive(failure(zlb::ArchiveFailure::ArchiveNotFound));
  EXPECT_TRUE(archive.failure().is(zlb::ArchiveFailure::ArchiveNotFound));
  EXPECT_EQ(germanMessage(archive), std::string(zlb::kArchiveNotFound));
  const std::runtime_error foreign("out of luck");
  EXPECT_EQ(germanMessage(foreign), "out of luck");
  EXPECT_EQ(failureOf(foreign).kind, FailureKind{});
}

// The values go where the text has "%s"; what a value holds is never read as a placeholder.
TEST(UserMessages, ValuesFillTheirPlacesAndNothingElse) {
  EXPECT_EQ(filledIn("Cannot open %s: %s", {"a%s", "b: c"}), "Cannot open a%s: b: c");
  EXPECT_EQ(filledIn("%s x %s", {"1"}), "1 x %s");
  EXPECT_EQ(germanMessage(failure(FileFailure::CannotOpen, "%1", "%2")),
            "Die Datei %1 kann nicht geöffnet werden: %2.");
}

// Every kind has exactly one row; every German text is German, uses only the values its English
// text has, and leaves no placeholder behind.
TEST(UserMessages, EveryKindHasOneGermanRow) {
  std::vector<FailureKind> kinds;
  collectKinds<FileFailure>(kinds);
  collectKinds<ProjectFailure>(kinds);
  collectKinds<PictureFailure>(kinds);
  collectKinds<BuildFailure>(kinds);
  collectKinds<AnswerFailure>(kinds);
  collectKinds<MailboxFailure>(kinds);
  const auto catalogue = messageCatalogue();
  EXPECT_EQ(catalogue.size(), kinds.size());
  for (const FailureKind& kind : kinds) {
    const auto rows =
        std::count_if(catalogue.begin(), catalogue.end(),
                      [&](const MessageTranslation& row) { return row.kind == kind; });
    EXPECT_EQ(rows, 1) << "area " << int(kind.area) << " code " << kind.code;
  }

  const std::regex englishWord(
      R"(\b(the|cannot|can't|unable|could|error|file|picture|not|is|no|of|to|while|beside|too)\b)");
  for (const MessageTranslation& row : catalogue) {
    SCOPED_TRACE(std::string(row.english));
    if (row.german.empty()) continue;
    const std::string german(row.german);
    EXPECT_FALSE(std::regex_search(lowered(german), englishWord)) << german;
    const std::size_t values = placeholdersIn(row.english);
    for (std::size_t value = values + 1; value <= 9; ++value)
      EXPECT_EQ(german.find("%" + std::to_string(value)), std::string::npos) << german;
    const Failure sample{
        row.kind, std::string(row.english), std::vector<std::string>(values, "W"), {}};
    EXPECT_EQ(germanMessage(sample).find('%'), std::string::npos) << germanMessage(sample);
  }
}

// No code of the core or the receiver gives a failure its own words without a kind (the types
// refuse bare words; unknownFailure() is the one way around them): only what a library's
// exception says may come without one.
TEST(UserMessages, TheCoreBuildsNoFailureFromBareWords) {
  const std::filesystem::path root = VANTREL_SOURCE_DIR;
  const std::regex bareWords(R"re(unknownFailure\(\s*(?:std::string\()?")re");
  std::vector<std::string> found;
  for (const char* folder : {"base", "project", "page", "icon", "program", "builder", "answers",
                             "archive", "formmail"}) {
    for (const auto& item : std::filesystem::recursive_directory_iterator(root / folder)) {
      if (item.path().extension() != ".cpp" && item.path().extension() != ".h") continue;
      const std::string source = readFile(item.path());
      for (std::sregex_iterator match(source.begin(), source.end(), bareWords), end; match != end;
           ++match) {
        found.push_back(item.path().string() + ": " + match->str());
      }
    }
  }
  EXPECT_TRUE(found.empty()) << found.front();
}
