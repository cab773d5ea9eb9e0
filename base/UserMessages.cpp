#include "base/UserMessages.h"

#include <algorithm>
#include <vector>

#include "base/ByteFile.h"
#include "base/Error.h"

namespace vantrel {
namespace {

template <typename Kind>
constexpr FailureKind k(Kind kind) {
  return kindOf(kind);
}

using F = FileFailure;
using Pr = ProjectFailure;
using Pi = PictureFailure;
using B = BuildFailure;
using A = AnswerFailure;
using M = MailboxFailure;

constexpr MessageTranslation kCatalogue[] = {
    // Files and the project file's strings.
    {k(F::ReadBeyondEnd), kReadBeyondEndOfFile, ""},
    {k(F::ReadFailed), "Read error: %s.", "Lesefehler: %1."},
    {k(F::TextTooLong), "Write error: text too long for a length prefix.",
     "Schreibfehler: Der Text ist zu lang für die Längenangabe vor ihm."},
    {k(F::WriteFailed), "Write error: %s.", "Schreibfehler: %1."},
    {k(F::WriteFailedPlain), "Write error.", "Schreibfehler."},
    {k(F::FileClosed), "Write error: file is closed.",
     "Schreibfehler: Die Datei ist schon geschlossen."},
    {k(F::CannotOpen), "Cannot open %s: %s", "Die Datei %1 kann nicht geöffnet werden: %2."},
    {k(F::CannotOpenPlain), "Cannot open %s.", "Die Datei %1 kann nicht geöffnet werden."},
    {k(F::CannotRead), "Cannot read %s: %s.", "Die Datei %1 kann nicht gelesen werden: %2."},
    {k(F::NotAPlainFile), "Not a plain file: %s", "%1 ist keine gewöhnliche Datei."},
    {k(F::CannotCreateBeside), "Cannot create a file in the folder of %s: %s.",
     "Im Ordner der Datei %1 kann keine Datei angelegt werden: %2."},
    {k(F::CannotCreate), "Cannot create %s: %s", "Die Datei %1 kann nicht erstellt werden: %2."},
    {k(F::CannotWrite), "Cannot write %s.", "Die Datei %1 kann nicht geschrieben werden."},
    {k(F::CannotReplace), "Cannot replace %s: %s.", "Die Datei %1 kann nicht ersetzt werden: %2."},
    {k(F::CannotSync), "Cannot write the files in %s to disk: %s.",
     "Die Dateien im Ordner %1 können nicht auf den Datenträger geschrieben werden: %2."},

    // The project file: the dialogs' own German texts, shown as they are.
    {k(Pr::CannotOpen), "Projekt öffnen: Konnte die Datei %s nicht öffnen!", ""},
    {k(Pr::NotAProjectFile), "Die Datei ist keine gültige \"Drovanex 1.0\"-Datei!", ""},
    {k(Pr::CannotCreate), "Projekt speichern: Konnte die Datei %s nicht erstellen!", ""},
    {k(Pr::UnknownExtension), "Die Datei %s ist weder ein Projekt (.vtq) noch JSON (.json).", ""},
    {k(Pr::BadJson), "%s", ""},
    {k(Pr::UnusableFormMailAddress),
     "The form-mail address is not a whole http or https address without blanks: %s",
     "Die Adresse des Formular-Empfängers muss eine vollständige http- oder https-Adresse sein "
     "(zum Beispiel https://example.org/cgi-bin/sendmailform.cgi), ohne Leerzeichen und "
     "Steuerzeichen."},
    {k(Pr::UnusableSurveyKey), "The survey key is not 1 to 40 letters, digits and dashes: %s",
     "Die Umfrage-Kennung darf nur Buchstaben (ohne Umlaute), Ziffern und \"-\" enthalten, "
     "höchstens 40 Zeichen."},

    // Pictures: said in words a user understands; a library's own details stay out.
    {k(Pi::NoPixels), "The picture has no pixels (%s x %s).",
     "Das Bild hat keine Bildpunkte (%1 x %2)."},
    {k(Pi::TooLarge), "The picture is too large (%s x %s pixels; at most %s pixels are loaded).",
     "Das Bild ist zu groß (%1 x %2 Bildpunkte; höchstens %3 Bildpunkte werden geladen)."},
    {k(Pi::TooLargeToDecode),
     "The picture is too large (%s x %s pixels at %s bits would take more than %s MB to decode).",
     "Das Bild ist zu groß (%1 x %2 Bildpunkte mit %3 Bit bräuchten zum Entpacken mehr als "
     "%4 MB)."},
    {k(Pi::FileTooLarge), "The picture file is too large (%s bytes).",
     "Die Bilddatei ist zu groß (%1 Bytes)."},
    {k(Pi::NotConverted), "The picture could not be converted.",
     "Das Bild konnte nicht umgewandelt werden."},
    {k(Pi::PixelsDoNotMatchSize), "The picture's pixels do not match its size.",
     "Die Bildpunkte des Bildes passen nicht zu seiner Größe."},
    {k(Pi::BmpPixelsOutsideFile),
     "The bmp picture cannot be read: its pixel data offset (%s) points outside the file.",
     "Die Datei ist kein lesbares Bild im Format bmp: Ihre Bildpunkte sollen bei Byte %1 beginnen, "
     "außerhalb der Datei."},
    {k(Pi::Unreadable), "The %s picture cannot be read: %s.",
     "Die Datei ist kein lesbares Bild im Format %1 (%2)."},
    {k(Pi::UnknownExtension), "Unknown picture file extension (.%s).",
     "Dateien mit der Endung .%1 können nicht als Bild geladen werden."},
    {k(Pi::BitmapNotValid), "Bitmap image is not valid: %s.",
     "Die Datei ist keine gültige Bitmap (BMP)."},
    {k(Pi::BitmapDepthNotWritable), "A bitmap of %s bits per pixel cannot be written.",
     "Eine Bitmap mit %1 Bit je Bildpunkt kann nicht geschrieben werden."},
    {k(Pi::BitmapTableDoesNotMatch),
     "The bitmap's colour table or pixels do not match its depth and size.",
     "Farbtabelle oder Bildpunkte der Bitmap passen nicht zu ihrer Farbtiefe und Größe."},
    {k(Pi::BitmapPixelOutsideTable), "A pixel of the bitmap lies outside its colour table.",
     "Ein Bildpunkt der Bitmap liegt außerhalb ihrer Farbtabelle."},
    {k(Pi::BitmapPixelsDoNotMatch), "The bitmap's pixels do not match its size.",
     "Die Bildpunkte der Bitmap passen nicht zu ihrer Größe."},
    {k(Pi::BitmapTooLargeForFile), "The bitmap is too large for a bitmap file.",
     "Die Bitmap ist zu groß für eine Bitmap-Datei."},
    {k(Pi::JpegInvalidSize), "JPEG image has an invalid size.",
     "Das JPEG-Bild hat eine ungültige Größe."},
    {k(Pi::JpegError), "JPEG error: %s.", "Die Datei ist kein lesbares JPEG-Bild."},
    {k(Pi::WmfNotValid), "Metafile is not valid: %s.",
     "Die Datei ist keine gültige Windows-Metadatei (WMF)."},
    {k(Pi::EmfNotValid), "Enhanced metafile is not valid: %s.",
     "Die Datei ist keine gültige erweiterte Metadatei (EMF)."},
    {k(Pi::MetafileSupportNotStarted), "Metafile support could not be started.",
     "Metadateien können zur Zeit nicht gelesen werden."},
    {k(Pi::EmfConverterNotStarted),
     "The program that draws enhanced metafiles could not be started (%s: %s).",
     "Das Programm, das erweiterte Metadateien (EMF) zeichnet, kann nicht gestartet werden (%1: "
     "%2)."},
    {k(Pi::MetafileNotDrawn), "The metafile could not be drawn.",
     "Die Metadatei konnte nicht gezeichnet werden."},
    {k(Pi::OutOfMemoryDrawing), "Out of memory while drawing the metafile.",
     "Zu wenig Speicher, um die Metadatei zu zeichnen."},
    {k(Pi::OutOfMemoryReading), "Out of memory while reading the metafile.",
     "Zu wenig Speicher, um die Metadatei zu lesen."},

    // Building a program.
    {k(B::CannotCreateBesideBecause), "Unable to create a file beside %s: %s",
     "Neben der Datei %1 kann keine Datei angelegt werden: %2."},
    {k(B::CannotCreateBeside), "Unable to create a file beside %s",
     "Neben der Datei %1 kann keine Datei angelegt werden."},
    {k(B::CannotReadBecause), "Unable to read %s: %s",
     "Die Datei %1 kann nicht gelesen werden: %2."},
    {k(B::CannotWriteBecause), "Unable to write %s: %s",
     "Die Datei %1 kann nicht geschrieben werden: %2."},
    {k(B::CannotOpen), "Unable to open %s", "Die Datei %1 kann nicht geöffnet werden."},
    {k(B::CannotCopy), "Unable to copy %s", "Die Datei %1 kann nicht kopiert werden."},
    {k(B::PrototypeTooLarge), "The prototype is larger than 4 GiB",
     "Die Datei ProtoExe.dat ist größer als 4 GiB."},
    {k(B::NoMarkerRecord), "The prototype holds no marker record",
     "Die Datei ProtoExe.dat ist fehlerhaft."},
    {k(B::SettingsNotWritten), "Unable to write the window settings",
     "Die Fenstereinstellungen konnten nicht geschrieben werden."},
    {k(B::PageNotWritten), "The page could not be written",
     "Die Seite formular.htm konnte nicht geschrieben werden."},
    {k(B::PageNotInArchive), "The page did not reach the archive",
     "Die Seite formular.htm ist nicht ins Archiv gelangt."},
    {k(B::IconNotWritten), "Das Icon konnte nicht in die Datei geschrieben werden.", ""},
    {k(B::ArchiveFailed), "%s", ""},
    {k(B::SignerMissing), "Cannot sign the program: osslsigncode is not installed",
     "Das Programm kann nicht signiert werden, weil osslsigncode nicht installiert ist. Es wurde "
     "keine Datei geschrieben."},
    {k(B::SigningRefused),
     "Cannot sign the program with %s: the certificate, its password or the time stamp server "
     "was refused",
     "Das Programm konnte nicht mit %1 signiert werden: Das Zertifikat, sein Passwort oder der "
     "Zeitstempel-Server wurde nicht angenommen. Es wurde keine Datei geschrieben."},
    {k(B::SigningFailed), "Cannot sign the program: %s",
     "Das Programm konnte nicht signiert werden. Es wurde keine Datei geschrieben."},

    // Answers read back from mails and exports; a problem of one mail names where it is first.
    {k(A::NoJsonObject), "The answer part is no JSON object.",
     "Der Antwortteil (antwort.json) ist kein JSON-Objekt."},
    {k(A::NotTheFormat), "The answer part is not of the format vantrel-antwort.",
     "Der Antwortteil (antwort.json) hat nicht das Format vantrel-antwort."},
    {k(A::NoVersion), "The answer part has no version.",
     "Der Antwortteil (antwort.json) nennt keine Version."},
    {k(A::OtherVersion), "The answer part has version %s, not %s.",
     "Der Antwortteil (antwort.json) hat die Version %1, lesbar ist Version %2."},
    {k(A::FieldMissingOrWrong), "The answer part lacks a field or has one of the wrong kind.",
     "Dem Antwortteil (antwort.json) fehlt eine Angabe, oder eine hat die falsche Art."},
    {k(A::UnknownTransferEncoding), "The answer part has an unknown transfer encoding.",
     "Der Antwortteil (antwort.json) ist auf eine unbekannte Art kodiert."},
    {k(A::NotBase64), "The answer part is not valid base64.",
     "Der Antwortteil (antwort.json) ist kein gültiges Base64."},
    {k(A::EndsInHeaders), "The mail ends inside its headers.",
     "Die Mail endet mitten in ihren Kopfzeilen."},
    {k(A::EndsBeforeLastPart), "The mail ends before its last part.",
     "Die Mail endet vor ihrem letzten Teil."},
    {k(A::MailTooLarge), "The mail is larger than %s MiB and was skipped.",
     "Die Mail ist größer als %1 MiB und wurde übergangen."},
    {k(A::MailCannotBeOpened), "The mail cannot be opened.",
     "Die Mail kann nicht geöffnet werden."},
    {k(A::MailCannotBeRead), "The mail cannot be read.", "Die Mail kann nicht gelesen werden."},
    {k(A::RestUnreadable), "The rest of the file cannot be read.",
     "Der Rest der Datei kann nicht gelesen werden."},
    {k(A::RecordTooLarge), "The record is too large; the rest is not read.",
     "Die Zeile ist zu lang; der Rest der Datei wird nicht gelesen."},
    {k(A::RecordFieldsDoNotMatch), "The record does not have one field per column.",
     "Die Zeile hat nicht für jede Spalte ein Feld."},
    {k(A::JsonTooDeep), "The answer part nests deeper than %s levels.",
     "Der Antwortteil (antwort.json) ist tiefer als %1 Ebenen verschachtelt."},
    {k(A::JsonTooLarge), "The answer part holds more than %s values.",
     "Der Antwortteil (antwort.json) enthält mehr als %1 Werte."},
    {k(A::WorkbookNotWritten), "The Excel workbook cannot be written: %s.",
     "Die Excel-Datei kann nicht geschrieben werden: %1."},

    // Answers read from a mail server, and their cache.
    {k(M::NotAMailboxAddress), "%s is no mailbox address like imaps://user@host/folder.",
     "%1 ist keine Postfach-Adresse der Art imaps://benutzer@server/ordner."},
    {k(M::CannotConnect), "Cannot connect to %s: %s.",
     "Mit dem Server %1 kann keine Verbindung aufgebaut werden: %2."},
    {k(M::CertificateRefused), "The certificate of %s is not trusted: %s.",
     "Dem Zertifikat des Servers %1 wird nicht vertraut: %2. Die Verbindung wurde abgelehnt."},
    {k(M::NoTls), "%s offers no encrypted connection (STARTTLS).",
     "Der Server %1 bietet keine verschlüsselte Verbindung (STARTTLS) an."},
    {k(M::LoginRefused), "%s refused the user name or password.",
     "Der Server %1 hat Benutzername oder Passwort abgelehnt."},
    {k(M::UnknownFolder), "%s has no folder %s.", "Auf dem Server %1 gibt es den Ordner %2 nicht."},
    {k(M::ConnectionLost), "The connection to %s was lost: %s.",
     "Die Verbindung zum Server %1 ist abgebrochen: %2."},
    {k(M::ServerRefused), "%s refused %s: %s", "Der Server %1 hat %2 abgelehnt: %3"},
    {k(M::AnswerUnreadable), "The answer of %s cannot be read.",
     "Die Antwort des Servers %1 ist nicht lesbar."},
    {k(M::CacheCannotBeOpened), "Cannot open the cache %s: %s.",
     "Der Zwischenspeicher %1 kann nicht geöffnet werden: %2."},
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

std::string germanFilledIn(std::string_view german, const std::vector<std::string>& values) {
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

const MessageTranslation* rowOf(FailureKind kind) {
  const auto* row =
      std::find_if(std::begin(kCatalogue), std::end(kCatalogue),
                   [&](const MessageTranslation& entry) { return entry.kind == kind; });
  return row == std::end(kCatalogue) ? nullptr : row;
}

std::string_view englishOf(FailureKind kind) {
  const MessageTranslation* row = rowOf(kind);
  return row ? row->english : std::string_view();
}

}  // namespace

std::string_view englishText(FileFailure kind) { return englishOf(kindOf(kind)); }
std::string_view englishText(ProjectFailure kind) { return englishOf(kindOf(kind)); }
std::string_view englishText(PictureFailure kind) { return englishOf(kindOf(kind)); }
std::string_view englishText(BuildFailure kind) { return englishOf(kindOf(kind)); }
std::string_view englishText(AnswerFailure kind) { return englishOf(kindOf(kind)); }
std::string_view englishText(MailboxFailure kind) { return englishOf(kindOf(kind)); }

std::span<const MessageTranslation> messageCatalogue() { return kCatalogue; }

std::string germanMessage(const Failure& failure) {
  const MessageTranslation* row = rowOf(failure.kind);
  if (!row || row->german.empty()) return failure.detail;
  const std::string german = germanFilledIn(row->german, failure.values);
  return failure.where.empty() ? german : failure.where + ": " + german;
}

Failure failureOf(const std::exception& error) {
  if (const auto* ours = dynamic_cast<const Error*>(&error)) return ours->failure();
  return unknownFailure(error.what());
}

std::string germanMessage(const std::exception& error) { return germanMessage(failureOf(error)); }

std::string germanMessageAbout(const std::filesystem::path& file, const Failure& failure) {
  std::string text = germanMessage(failure);
  const std::string name = file.filename().string();
  if (text.find(name) != std::string::npos) return text;
  return name + ": " + text;
}

}  // namespace vantrel
