#pragma once
// Every German text the two viewers show, in UTF-8 as written here. The Windows viewer turns
// them into UTF-16 where they meet a Win32 call, the Linux viewer into QString. Menu texts
// carry the Windows mnemonic "&"; where a text names a command rather than a menu, the Linux
// viewer shows it without (withoutMnemonic).
//
// The standard library only: the Windows viewer includes this header too.

#include <string>
#include <string_view>

#include "program/ViewerRecord.h"

namespace vantrel::viewertext {

inline constexpr std::string_view kApplicationName = "Vantrel Formular";

inline constexpr std::string_view kMenuFile = "&Datei";
inline constexpr std::string_view kMenuView = "&Ansicht";
inline constexpr std::string_view kMenuHelp = "&Hilfe";
inline constexpr std::string_view kPrint = "&Drucken...";
inline constexpr std::string_view kExit = "&Beenden";
inline constexpr std::string_view kAbout = "Ü&ber...";
inline constexpr std::string_view kBack = "&Zurück";
inline constexpr std::string_view kForward = "&Vorwärts";
inline constexpr std::string_view kHome = "&Startseite";
inline constexpr std::string_view kReload = "&Neu laden";
inline constexpr std::string_view kExitButton = "Beenden";
inline constexpr std::string_view kToolbar = "Werkzeuge";
inline constexpr std::string_view kPrintDialogTitle = "Drucken";

inline constexpr std::string_view kStatusLoading = "Seite wird geladen...";
inline constexpr std::string_view kStatusDone = "Fertig";
inline constexpr std::string_view kStatusFailed = "Die Seite konnte nicht geladen werden.";

// The about box: its title is the prefix and the project name, its text the project name and
// kAboutText.
inline constexpr std::string_view kAboutTitlePrefix = "Über ";
inline constexpr std::string_view kAboutText =
    "\n\nEin Formular, erstellt mit Vantrel Formulare 1.0.";

inline constexpr std::string_view kFallbackText =
    "Das Formular wird in Ihrem Web-Browser angezeigt, weil dieses Fenster es nicht "
    "darstellen kann.\n\nSchließen Sie dieses Fenster, wenn Sie das Formular "
    "abgeschickt haben.";
inline constexpr std::string_view kFallbackClose = "Schließen";
inline constexpr std::string_view kNoBrowserAtAll =
    "Das Formular konnte weder in diesem Fenster noch in Ihrem Web-Browser geöffnet werden.";

inline constexpr std::string_view kErrorTitle = "Fehler";

// The text of the viewer's error box for each kind of failure.
constexpr std::string_view viewerErrorMessage(exe::ViewerError error) {
  using exe::ViewerError;
  switch (error) {
    case ViewerError::None:
      return "";
    case ViewerError::BarePrototype:
      return "Dieses Programm ist die leere Vorlage von Vantrel Formulare und enthält kein "
             "Formular.";
    case ViewerError::DamagedRecord:
      return "Die Daten dieses Programms sind beschädigt: der Kennsatz ist ungültig.";
    case ViewerError::ProgramUnreadable:
      return "Die Programmdatei konnte nicht gelesen werden.";
    case ViewerError::DamagedSettings:
      return "Die Daten dieses Programms sind beschädigt: die Fenstereinstellungen sind "
             "unvollständig.";
    case ViewerError::DamagedArchive:
      return "Die Daten dieses Programms sind beschädigt: das Formular-Archiv ist fehlerhaft.";
    case ViewerError::NoPage:
      return "Das Formular-Archiv dieses Programms enthält keine Datei formular.htm.";
    case ViewerError::DamagedPage:
      return "Die Formularseite dieses Programms ist beschädigt (Prüfsumme falsch).";
    case ViewerError::CannotExtract:
      return "Die Formularseite konnte nicht in einen temporären Ordner entpackt werden.";
  }
  return "";
}

// A menu text as a command's own name: "&Drucken..." is "Drucken...".
inline std::string withoutMnemonic(std::string_view text) {
  std::string plain;
  for (const char c : text) {
    if (c != '&') plain += c;
  }
  return plain;
}

}  // namespace vantrel::viewertext
