#pragma once
// The Windows viewer's German texts, as UTF-16 for the wide Win32 calls.

namespace vantrel::winviewer {

inline constexpr const wchar_t* kMenuFile = L"&Datei";
inline constexpr const wchar_t* kMenuView = L"&Ansicht";
inline constexpr const wchar_t* kMenuHelp = L"&Hilfe";
inline constexpr const wchar_t* kPrint = L"&Drucken...";
inline constexpr const wchar_t* kExit = L"&Beenden";
inline constexpr const wchar_t* kAbout = L"\u00DC&ber...";
inline constexpr const wchar_t* kBack = L"&Zur\u00FCck";
inline constexpr const wchar_t* kForward = L"&Vorw\u00E4rts";
inline constexpr const wchar_t* kHome = L"&Startseite";
inline constexpr const wchar_t* kReload = L"&Neu laden";
inline constexpr const wchar_t* kExitButton = L"Beenden";

inline constexpr const wchar_t* kStatusLoading = L"Seite wird geladen...";
inline constexpr const wchar_t* kStatusDone = L"Fertig";
inline constexpr const wchar_t* kStatusFailed = L"Die Seite konnte nicht geladen werden.";

inline constexpr const wchar_t* kAboutTitlePrefix = L"\u00DCber ";
inline constexpr const wchar_t* kAboutText =
    L"\n\nEin Formular, erstellt mit Vantrel Formulare 1.0.";

inline constexpr const wchar_t* kFallbackText =
    L"Das Formular wird in Ihrem Web-Browser angezeigt, weil dieses Fenster es nicht "
    L"darstellen kann.\n\nSchlie\u00DFen Sie dieses Fenster, wenn Sie das Formular "
    L"abgeschickt haben.";
inline constexpr const wchar_t* kFallbackClose = L"Schlie\u00DFen";
inline constexpr const wchar_t* kNoBrowserAtAll =
    L"Das Formular konnte weder in diesem Fenster noch in Ihrem Web-Browser ge\u00F6ffnet "
    L"werden.";

}  // namespace vantrel::winviewer
