#include "base/UserMessages.h"

#include <array>
#include <cstring>

namespace vantrel {
namespace {

constexpr std::size_t kMostValues = 4;

constexpr MessageTranslation kCatalogue[] = {
    // Defined by the archive component; the builder's "Unable to open %s" would match them.
    {"Unable to open file (%s)", ""},
    {"Unable to create file (%s)", ""},

    // Files and the project file's strings.
    {"Read beyond end of file.", ""},
    {"Write error: text too long for a length prefix.",
     "Schreibfehler: Der Text ist zu lang für die Längenangabe vor ihm."},
    {"Write error: file is closed.", "Schreibfehler: Die Datei ist schon geschlossen."},
    {"Write error: %s.", "Schreibfehler: %1."},
    {"Write error.", "Schreibfehler."},
    {"Read error: %s.", "Lesefehler: %1."},
    {"Cannot open %s: %s", "Die Datei %1 kann nicht geöffnet werden: %2."},
    {"Cannot open %s.", "Die Datei %1 kann nicht geöffnet werden."},
    {"Cannot read %s: %s.", "Die Datei %1 kann nicht gelesen werden: %2."},
    {"Not a plain file: %s", "%1 ist keine gewöhnliche Datei."},
    {"Cannot create a file in the folder of %s.",
     "Im Ordner der Datei %1 kann keine Datei angelegt werden."},
    {"Cannot create %s: %s", "Die Datei %1 kann nicht erstellt werden: %2."},
    {"Cannot write %s.", "Die Datei %1 kann nicht geschrieben werden."},
    {"Cannot replace %s: %s.", "Die Datei %1 kann nicht ersetzt werden: %2."},

    // Pictures: said in words a user understands; a library's own details stay out.
    {"The picture has no pixels (%s x %s).", "Das Bild hat keine Bildpunkte (%1 x %2)."},
    {"The picture is too large (%s x %s pixels; at most %s pixels are loaded).",
     "Das Bild ist zu groß (%1 x %2 Bildpunkte; höchstens %3 Bildpunkte werden geladen)."},
    {"The picture file is too large (%s bytes).", "Die Bilddatei ist zu groß (%1 Bytes)."},
    {"The picture could not be converted.", "Das Bild konnte nicht umgewandelt werden."},
    {"The picture's pixels do not match its size.",
     "Die Bildpunkte des Bildes passen nicht zu seiner Größe."},
    {"The bmp picture cannot be read: its pixel data offset (%s) points outside the file.",
     "Die Datei ist kein lesbares Bild im Format bmp: Ihre Bildpunkte sollen bei Byte %1 beginnen, "
     "außerhalb der Datei."},
    {"The %s picture cannot be read: %s.", "Die Datei ist kein lesbares Bild im Format %1 (%2)."},
    {"Unknown picture file extension (.%s).",
     "Dateien mit der Endung .%1 können nicht als Bild geladen werden."},
    {"Bitmap image is not valid: %s.", "Die Datei ist keine gültige Bitmap (BMP)."},
    {"A bitmap of %s bits per pixel cannot be written.",
     "Eine Bitmap mit %1 Bit je Bildpunkt kann nicht geschrieben werden."},
    {"The bitmap's colour table or pixels do not match its depth and size.",
     "Farbtabelle oder Bildpunkte der Bitmap passen nicht zu ihrer Farbtiefe und Größe."},
    {"A pixel of the bitmap lies outside its colour table.",
     "Ein Bildpunkt der Bitmap liegt außerhalb ihrer Farbtabelle."},
    {"The bitmap's pixels do not match its size.",
     "Die Bildpunkte der Bitmap passen nicht zu ihrer Größe."},
    {"The bitmap is too large for a bitmap file.", "Die Bitmap ist zu groß für eine Bitmap-Datei."},
    {"JPEG image has an invalid size.", "Das JPEG-Bild hat eine ungültige Größe."},
    {"JPEG error: %s.", "Die Datei ist kein lesbares JPEG-Bild."},
    {"Metafile is not valid: %s.", "Die Datei ist keine gültige Windows-Metadatei (WMF)."},
    {"Enhanced metafile is not valid: %s.",
     "Die Datei ist keine gültige erweiterte Metadatei (EMF)."},
    {"Metafile support could not be started.", "Metadateien können zur Zeit nicht gelesen werden."},
    {"The program that draws enhanced metafiles could not be started (%s: %s).",
     "Das Programm, das erweiterte Metadateien (EMF) zeichnet, kann nicht gestartet werden (%1: "
     "%2)."},
    {"The metafile could not be drawn.", "Die Metadatei konnte nicht gezeichnet werden."},
    {"Out of memory while drawing the metafile.",
     "Zu wenig Speicher, um die Metadatei zu zeichnen."},
    {"Out of memory while reading the metafile.", "Zu wenig Speicher, um die Metadatei zu lesen."},

    // Building a program.
    {"Unable to create a file beside %s: %s",
     "Neben der Datei %1 kann keine Datei angelegt werden: %2."},
    {"Unable to create a file beside %s", "Neben der Datei %1 kann keine Datei angelegt werden."},
    {"Unable to read %s: %s", "Die Datei %1 kann nicht gelesen werden: %2."},
    {"Unable to write %s: %s", "Die Datei %1 kann nicht geschrieben werden: %2."},
    {"Unable to open %s", "Die Datei %1 kann nicht geöffnet werden."},
    {"Unable to copy %s", "Die Datei %1 kann nicht kopiert werden."},
    {"The prototype is larger than 4 GiB", "Die Datei ProtoExe.dat ist größer als 4 GiB."},
    {"The prototype holds no marker record", "Die Datei ProtoExe.dat ist fehlerhaft."},
    {"Unable to write the window settings",
     "Die Fenstereinstellungen konnten nicht geschrieben werden."},
    {"The page could not be written", "Die Seite formular.htm konnte nicht geschrieben werden."},
    {"The page did not reach the archive", "Die Seite formular.htm ist nicht ins Archiv gelangt."},

    // Answers read back from mails and exports; a problem of one mail names where it is first.
    {"The answer part is no JSON object.", "Der Antwortteil (antwort.json) ist kein JSON-Objekt."},
    {"The answer part is not of the format vantrel-antwort.",
     "Der Antwortteil (antwort.json) hat nicht das Format vantrel-antwort."},
    {"The answer part has no version.", "Der Antwortteil (antwort.json) nennt keine Version."},
    {"The answer part has version %s, not %s.",
     "Der Antwortteil (antwort.json) hat die Version %1, lesbar ist Version %2."},
    {"The answer part lacks a field or has one of the wrong kind.",
     "Dem Antwortteil (antwort.json) fehlt eine Angabe, oder eine hat die falsche Art."},
    {"The answer part has an unknown transfer encoding.",
     "Der Antwortteil (antwort.json) ist auf eine unbekannte Art kodiert."},
    {"The answer part is not valid base64.",
     "Der Antwortteil (antwort.json) ist kein gültiges Base64."},
    {"The mail ends inside its headers.", "Die Mail endet mitten in ihren Kopfzeilen."},
    {"The mail ends before its last part.", "Die Mail endet vor ihrem letzten Teil."},
    {"The mail is larger than %s MiB and was skipped.",
     "Die Mail ist größer als %1 MiB und wurde übergangen."},
    {"The mail cannot be opened.", "Die Mail kann nicht geöffnet werden."},
    {"The mail cannot be read.", "Die Mail kann nicht gelesen werden."},
    {"The rest of the file cannot be read.", "Der Rest der Datei kann nicht gelesen werden."},
    {"The record is too large; the rest is not read.",
     "Die Zeile ist zu lang; der Rest der Datei wird nicht gelesen."},
    {"The record does not have one field per column.",
     "Die Zeile hat nicht für jede Spalte ein Feld."},
    {"%s: The answer part is no JSON object.",
     "%1: Der Antwortteil (antwort.json) ist kein JSON-Objekt."},
    {"%s: The answer part is not of the format vantrel-antwort.",
     "%1: Der Antwortteil (antwort.json) hat nicht das Format vantrel-antwort."},
    {"%s: The answer part has no version.",
     "%1: Der Antwortteil (antwort.json) nennt keine Version."},
    {"%s: The answer part has version %s, not %s.",
     "%1: Der Antwortteil (antwort.json) hat die Version %2, lesbar ist Version %3."},
    {"%s: The answer part lacks a field or has one of the wrong kind.",
     "%1: Dem Antwortteil (antwort.json) fehlt eine Angabe, oder eine hat die falsche Art."},
    {"%s: The answer part has an unknown transfer encoding.",
     "%1: Der Antwortteil (antwort.json) ist auf eine unbekannte Art kodiert."},
    {"%s: The answer part is not valid base64.",
     "%1: Der Antwortteil (antwort.json) ist kein gültiges Base64."},
    {"%s: The mail ends inside its headers.", "%1: Die Mail endet mitten in ihren Kopfzeilen."},
    {"%s: The mail ends before its last part.", "%1: Die Mail endet vor ihrem letzten Teil."},
    {"%s: The mail is larger than %s MiB and was skipped.",
     "%1: Die Mail ist größer als %2 MiB und wurde übergangen."},
    {"%s: The mail cannot be opened.", "%1: Die Mail kann nicht geöffnet werden."},
    {"%s: The mail cannot be read.", "%1: Die Mail kann nicht gelesen werden."},
    {"%s: The rest of the file cannot be read.",
     "%1: Der Rest der Datei kann nicht gelesen werden."},
    {"%s: The record is too large; the rest is not read.",
     "%1: Die Zeile ist zu lang; der Rest der Datei wird nicht gelesen."},
    {"%s: The record does not have one field per column.",
     "%1: Die Zeile hat nicht für jede Spalte ein Feld."},
};

// The system's texts for the failures a file operation commonly meets, as strerror gives them
// in the C locale.
constexpr std::pair<std::string_view, std::string_view> kSystemTexts[] = {
    {"No such file or directory", "Datei oder Verzeichnis nicht gefunden"},
    {"Permission denied", "Zugriff verweigert"},
    {"Is a directory", "Ist ein Verzeichnis"},
    {"Not a directory", "Ist kein Verzeichnis"},
    {"No space left on device", "Kein Speicherplatz mehr auf dem Gerät"},
    {"Read-only file system", "Das Dateisystem ist nur lesbar"},
    {"File exists", "Die Datei existiert bereits"},
    {"Disk quota exceeded", "Der Speicherplatz des Benutzers ist erschöpft"},
    {"Input/output error", "Ein- oder Ausgabefehler"},
    {"File name too long", "Der Dateiname ist zu lang"},
    {"Too many open files", "Zu viele offene Dateien"},
    {"File too large", "Die Datei ist zu groß"},
};

std::string germanValue(const std::string& value) {
  for (const auto& [english, german] : kSystemTexts) {
    if (value == english) return std::string(german);
  }
  return value;
}

std::string filledIn(std::string_view german, std::span<const std::string> values) {
  std::string text;
  for (std::size_t at = 0; at < german.size(); ++at) {
    const char next = at + 1 < german.size() ? german[at + 1] : '\0';
    if (german[at] == '%' && next >= '1' && next <= '9') {
      const auto index = static_cast<std::size_t>(next - '1');
      if (index < values.size()) text += germanValue(values[index]);
      ++at;
    } else {
      text += german[at];
    }
  }
  return text;
}

}  // namespace

std::span<const MessageTranslation> messageCatalogue() { return kCatalogue; }

// Each literal piece must follow in order; a value takes everything up to the next piece
// (the last piece must end the text).
bool matchesPattern(std::string_view pattern, std::string_view text,
                    std::span<std::string> values) {
  std::size_t valueCount = 0;
  std::size_t at = 0;
  bool afterValue = false;
  while (true) {
    const std::size_t placeholder = pattern.find("%s");
    const std::string_view piece = pattern.substr(0, placeholder);
    const bool lastPiece = placeholder == std::string_view::npos;
    std::size_t found = at;
    if (afterValue) {
      found = lastPiece ? (text.size() >= piece.size() ? text.size() - piece.size()
                                                       : std::string_view::npos)
                        : text.find(piece, at);
      if (found == std::string_view::npos || found < at) return false;
      if (text.substr(found, piece.size()) != piece) return false;
      if (valueCount >= values.size()) return false;
      values[valueCount++] = std::string(text.substr(at, found - at));
    } else if (text.substr(at, piece.size()) != piece) {
      return false;
    }
    at = found + piece.size();
    if (lastPiece) return at == text.size();
    pattern.remove_prefix(placeholder + 2);
    afterValue = true;
  }
}

std::string germanMessageAbout(const std::filesystem::path& file, std::string_view reason) {
  std::string text = germanMessage(reason);
  const std::string name = file.filename().string();
  if (text.find(name) != std::string::npos) return text;
  return name + ": " + text;
}

std::string germanMessage(std::string_view reason) {
  std::array<std::string, kMostValues> values;
  for (const MessageTranslation& entry : kCatalogue) {
    if (!matchesPattern(entry.english, reason, values)) continue;
    if (entry.german.empty()) return std::string(reason);
    return filledIn(entry.german, values);
  }
  return std::string(reason);
}

}  // namespace vantrel
