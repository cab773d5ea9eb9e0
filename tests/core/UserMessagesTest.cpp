// The German texts users read in place of the core's English reasons.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "archive/ArchiveMessages.h"
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

// The entry's English text with each value replaced by a recognisable one.
std::string sampleOf(std::string_view pattern) {
  std::string text;
  int value = 0;
  for (std::size_t at = 0; at < pattern.size(); ++at) {
    if (pattern.substr(at, 2) == "%s") {
      text += "<Wert" + std::to_string(++value) + ">";
      ++at;
    } else {
      text += pattern[at];
    }
  }
  return text;
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

}  // namespace

TEST(UserMessages, ReasonsOfTheCoreReadInGermanAndNameTheirFile) {
  struct Case {
    const char* reason;
    const char* german;
  };
  const Case cases[] = {
      {"Cannot open nix.png: No such file or directory",
       "Die Datei nix.png kann nicht geöffnet werden: Datei oder Verzeichnis nicht gefunden."},
      {"Cannot open /a/ProtoExe.dat.", "Die Datei /a/ProtoExe.dat kann nicht geöffnet werden."},
      {"Cannot create a file in the folder of /tmp/x/ziel.exe.",
       "Im Ordner der Datei /tmp/x/ziel.exe kann keine Datei angelegt werden."},
      {"Cannot create /tmp/x.vtq: Permission denied",
       "Die Datei /tmp/x.vtq kann nicht erstellt werden: Zugriff verweigert."},
      {"The png picture cannot be read: Unbekannter Fehler.",
       "Die Datei ist kein lesbares Bild im Format png (Unbekannter Fehler)."},
      {"Write error: text too long for a length prefix.",
       "Schreibfehler: Der Text ist zu lang für die Längenangabe vor ihm."},
      {"Write error: No space left on device.",
       "Schreibfehler: Kein Speicherplatz mehr auf dem Gerät."},
      {"Write error.", "Schreibfehler."},
      {"Cannot replace /a/formular.htm: Input/output error.",
       "Die Datei /a/formular.htm kann nicht ersetzt werden: Ein- oder Ausgabefehler."},
      {"The picture is too large (70000 x 70000 pixels; at most 100000000 pixels are loaded).",
       "Das Bild ist zu groß (70000 x 70000 Bildpunkte; höchstens 100000000 Bildpunkte werden "
       "geladen)."},
      {"JPEG error: Premature end of JPEG file.", "Die Datei ist kein lesbares JPEG-Bild."},
      {"Unable to open /a/ProtoExe.dat", "Die Datei /a/ProtoExe.dat kann nicht geöffnet werden."},
      // Defined texts and texts that are German already stay as they are.
      {"Read beyond end of file.", "Read beyond end of file."},
      {"Unable to open file (/a/b.zlb)", "Unable to open file (/a/b.zlb)"},
      {"CRC error in formular.htm", "CRC error in formular.htm"},
      {"Im JSON fehlt \"fields\".", "Im JSON fehlt \"fields\"."},
  };
  for (const Case& c : cases) EXPECT_EQ(germanMessage(c.reason), c.german) << c.reason;

  EXPECT_EQ(germanMessageAbout("/tmp/nix.png", "The png picture cannot be read: X."),
            "nix.png: Die Datei ist kein lesbares Bild im Format png (X).");
  EXPECT_EQ(germanMessageAbout("/tmp/nix.png", "Cannot open /tmp/nix.png: Is a directory"),
            "Die Datei /tmp/nix.png kann nicht geöffnet werden: Ist ein Verzeichnis.");
}

TEST(UserMessages, PatternsTakeTheirValuesAndNothingElse) {
  std::array<std::string, 2> values;
  EXPECT_TRUE(matchesPattern("Cannot open %s: %s", "Cannot open a: b: c", values));
  EXPECT_EQ(values[0], "a");
  EXPECT_EQ(values[1], "b: c");
  EXPECT_FALSE(matchesPattern("Cannot open %s.", "Cannot open a: b", values));
  EXPECT_FALSE(matchesPattern("Write error.", "Write error. More", values));
  EXPECT_FALSE(matchesPattern("%s x %s", "1 x", values));
  EXPECT_TRUE(matchesPattern("Unable to open %s", "Unable to open ", values));
  EXPECT_EQ(values[0], "");
}

// Every German text is German, uses only the values its English text has, and every English
// text reaches its own entry, not an earlier broader one.
TEST(UserMessages, TheCatalogueSpeaksGermanAndNoEntryHidesAnother) {
  const std::regex englishWord(
      R"(\b(the|cannot|can't|unable|could|error|file|picture|not|is|no|of|to|while|beside|too)\b)");
  const auto catalogue = messageCatalogue();
  for (std::size_t i = 0; i < catalogue.size(); ++i) {
    const MessageTranslation& entry = catalogue[i];
    SCOPED_TRACE(std::string(entry.english));
    const std::string sample = sampleOf(entry.english);
    for (std::size_t earlier = 0; earlier < i; ++earlier) {
      std::array<std::string, 4> values;
      EXPECT_FALSE(matchesPattern(catalogue[earlier].english, sample, values))
          << "hidden by " << catalogue[earlier].english;
    }
    if (entry.german.empty()) {
      EXPECT_EQ(germanMessage(sample), sample);
      continue;
    }
    const std::string german(entry.german);
    EXPECT_FALSE(std::regex_search(lowered(german), englishWord)) << german;
    for (std::size_t value = placeholdersIn(entry.english) + 1; value <= 9; ++value) {
      EXPECT_EQ(german.find("%" + std::to_string(value)), std::string::npos) << german;
    }
    const std::string shown = germanMessage(sample);
    EXPECT_NE(shown, sample);
    EXPECT_EQ(shown.find('%'), std::string::npos) << shown;
  }
}

// The entries shown as they are defined are the archive component's and the project reader's
// own texts, word for word.
TEST(UserMessages, TextsShownAsDefinedAreTheDefinedOnes) {
  const std::string_view defined[] = {zlb::kUnableToOpenFile, zlb::kUnableToCreateFile,
                                      kReadBeyondEndOfFile};
  for (const MessageTranslation& entry : messageCatalogue()) {
    if (!entry.german.empty()) continue;
    EXPECT_NE(std::find(std::begin(defined), std::end(defined), entry.english), std::end(defined))
        << entry.english;
  }
}

// The sources are read for every reason the core raises or returns in English: each one's
// opening text must begin an entry of the catalogue, so none reaches a user untranslated.
TEST(UserMessages, EveryReasonInTheSourcesHasAnEntry) {
  const std::filesystem::path root = VANTREL_SOURCE_DIR;
  const std::regex reasonLiteral(
      R"re((?:throw (?:[A-Za-z]+)\((?:std::string\()?|Failure\{|noteFirst\([^,]+, |fail\(|failure\(ViewerError::[A-Za-z]+, )"([^"\\]*)")re");
  std::vector<std::string> found;
  for (const char* folder : {"base", "project", "page", "icon", "program", "builder", "answers"}) {
    for (const auto& item : std::filesystem::recursive_directory_iterator(root / folder)) {
      if (item.path().extension() != ".cpp") continue;
      const std::string source = readFile(item.path());
      for (std::sregex_iterator match(source.begin(), source.end(), reasonLiteral), end;
           match != end; ++match) {
        found.push_back((*match)[1].str());
      }
    }
  }
  EXPECT_GT(found.size(), 40u);  // the search itself still finds the reasons
  for (const std::string& literal : found) {
    if (literal.empty()) continue;
    const auto catalogue = messageCatalogue();
    const bool known = std::any_of(catalogue.begin(), catalogue.end(), [&](const auto& entry) {
      return entry.english.substr(0, literal.size()) == literal;
    });
    EXPECT_TRUE(known) << "no German text for \"" << literal << "\"";
  }
}
