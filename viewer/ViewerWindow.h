#pragma once
// The viewer's window: the form page in a browser view, with the window elements, size and
// title that the program's WindowSettings ask for.

#include <QIcon>
#include <QMainWindow>
#include <QUrl>
#include <memory>
#include <string_view>

#include "program/ViewerRecord.h"

class QAction;
class QPrinter;
class QWebEngineView;

namespace vantrel::viewer {

// A text of program/ViewerTexts.h (UTF-8) as Qt shows it.
QString viewerText(std::string_view utf8);

// The window icon drawn from an icon image laid out as in ViewerIcon.h.
QIcon iconFromImage(const unsigned char* imageBytes);

// Window sizes as the program will use them: a width or height typed beyond reason is
// brought into what a window can have.
int usableWindowExtent(std::int32_t typed);

class ViewerWindow : public QMainWindow {
  Q_OBJECT
 public:
  ViewerWindow(const exe::WindowSettings& settings, const QUrl& page);
  ~ViewerWindow() override;

  QWebEngineView* view() const { return view_; }
  // Shows the window at the size asked for (defined or maximised) and loads the page.
  void start();

 private:
  QAction* addCommand(const QString& text, const QKeySequence& shortcut,
                      void (ViewerWindow::*slot)());
  void buildCommands();
  void goBack();
  void goForward();
  void goHome();
  void reload();
  void printPage();
  void showAbout();
  void quit();

  exe::WindowSettings settings_;
  QUrl page_;
  QWebEngineView* view_ = nullptr;
  std::unique_ptr<QPrinter> printer_;  // while the engine prints
};

}  // namespace vantrel::viewer
