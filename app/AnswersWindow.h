#pragma once
// "Auswertung" as the main window sees it. The window, its charts and PDF report, the mailbox
// reader (libcurl and its TLS, SQLite) and the workbook writer come from a plugin loaded the first
// time the window is asked for, so the tool starts without them. Programs that link the window
// themselves (the tests) say so once and get it without the plugin.

#include <QString>
#include <filesystem>
#include <functional>

#include "project/FieldList.h"

class QWidget;

namespace vantrel {

struct AnswersWindowSetup {
  // The field list as the main window holds it at the moment of asking.
  std::function<FieldList()> currentFields;
  QString iniFile;  // where the last mailbox is kept; none when empty
  QWidget* owner = nullptr;
};

// Makes the window, a top-level window owned by `setup.owner`; it goes with its owner.
using MakeAnswersWindow = QWidget* (*)(const AnswersWindowSetup& setup);

// The plugin file, beside the program or in the installed private folder.
inline constexpr const char* kAnswersWindowPluginFile = "vantrel-answers-window.so";
// The function the plugin exports, a MakeAnswersWindow.
inline constexpr const char* kMakeAnswersWindowSymbol = "vantrel_make_answers_window";

struct LoadedAnswersWindow {
  QWidget* window = nullptr;  // null when the plugin could not be loaded
  QString error;              // the loader's words when it could not
};

// The window from the linked maker when one was given, otherwise from `pluginFile`, which then
// stays loaded for the rest of the program's life.
[[nodiscard]] LoadedAnswersWindow makeAnswersWindow(const std::filesystem::path& pluginFile,
                                                    const AnswersWindowSetup& setup);

// For programs that link the window's library: makeAnswersWindow uses `make` from then on.
void useLinkedAnswersWindow(MakeAnswersWindow make);

}  // namespace vantrel
