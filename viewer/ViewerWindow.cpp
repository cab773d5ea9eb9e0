#include "viewer/ViewerWindow.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <algorithm>

#include "base/Win1252.h"
#include "program/ViewerTexts.h"
#include "viewer/ViewerIcon.h"
#include "widgets/browser/BrowserEngine.h"

namespace vantrel::viewer {
namespace {

constexpr int kSmallestExtent = 64;
constexpr int kLargestExtent = 16384;

QString fromModel(const std::string& bytes) { return QString::fromStdString(utf8From1252(bytes)); }

// A command's name as its action shows it and tests find it: the menu text without "&".
QString commandText(std::string_view menuText) {
  return QString::fromStdString(viewertext::withoutMnemonic(menuText));
}

}  // namespace

QString viewerText(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QIcon iconFromImage(const unsigned char* imageBytes) {
  QImage image(kIconSide, kIconSide, QImage::Format_ARGB32);
  for (int y = 0; y < kIconSide; ++y) {
    for (int x = 0; x < kIconSide; ++x) {
      if (iconPixelHidden(imageBytes, x, y)) {
        image.setPixel(x, y, qRgba(0, 0, 0, 0));
        continue;
      }
      // The colour table of the image itself, as the icon's reader would use it.
      const unsigned char* entry =
          imageBytes + kIconHeaderSize + 4 * iconPixelIndex(imageBytes, x, y);
      image.setPixel(x, y, qRgb(entry[2], entry[1], entry[0]));
    }
  }
  return QIcon(QPixmap::fromImage(image));
}

int usableWindowExtent(std::int32_t typed) {
  return std::clamp<std::int32_t>(typed, kSmallestExtent, kLargestExtent);
}

ViewerWindow::ViewerWindow(const exe::WindowSettings& settings, const QUrl& page)
    : settings_(settings), page_(page) {
  setWindowTitle(fromModel(settings_.settings.projectName));
  view_ = new QWebEngineView(this);
  browser::setUpForFormPages(view_);

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_, 1);
  if (settings_.settings.element(WindowElement::ExitButton)) {
    auto* row = new QHBoxLayout;
    row->setContentsMargins(6, 6, 6, 6);
    row->addStretch(1);
    auto* exitButton = new QPushButton(viewerText(viewertext::kExitButton), central);
    exitButton->setObjectName(QStringLiteral("ExitButton"));
    connect(exitButton, &QPushButton::clicked, this, &ViewerWindow::quit);
    row->addWidget(exitButton);
    layout->addLayout(row);
  }
  setCentralWidget(central);
  buildCommands();

  if (settings_.settings.element(WindowElement::Statusbar)) {
    statusBar()->showMessage(QString());
    connect(view_->page(), &QWebEnginePage::linkHovered, statusBar(),
            [this](const QString& url) { statusBar()->showMessage(url); });
    connect(view_, &QWebEngineView::loadStarted, statusBar(),
            [this] { statusBar()->showMessage(viewerText(viewertext::kStatusLoading)); });
    connect(view_, &QWebEngineView::loadFinished, statusBar(), [this](bool ok) {
      statusBar()->showMessage(ok ? viewerText(viewertext::kStatusDone)
                                  : viewerText(viewertext::kStatusFailed));
    });
  }
  connect(view_, &QWebEngineView::printFinished, this, [this](bool) { printer_.reset(); });
}

ViewerWindow::~ViewerWindow() = default;

QAction* ViewerWindow::addCommand(const QString& text, const QKeySequence& shortcut,
                                  void (ViewerWindow::*slot)()) {
  auto* action = new QAction(text, this);
  action->setShortcut(shortcut);
  connect(action, &QAction::triggered, this, slot);
  addAction(action);  // its shortcut works without a menu too
  return action;
}

void ViewerWindow::buildCommands() {
  const ProjectSettings& s = settings_.settings;
  struct Command {
    WindowElement element;
    QAction* action;
  };
  const Command commands[] = {
      {WindowElement::Back,
       addCommand(commandText(viewertext::kBack), QKeySequence::Back, &ViewerWindow::goBack)},
      {WindowElement::Forward, addCommand(commandText(viewertext::kForward), QKeySequence::Forward,
                                          &ViewerWindow::goForward)},
      {WindowElement::Home,
       addCommand(commandText(viewertext::kHome), QKeySequence(Qt::ALT | Qt::Key_Home),
                  &ViewerWindow::goHome)},
      {WindowElement::Reload,
       addCommand(commandText(viewertext::kReload), QKeySequence::Refresh, &ViewerWindow::reload)},
      {WindowElement::Print,
       addCommand(commandText(viewertext::kPrint), QKeySequence::Print, &ViewerWindow::printPage)},
      {WindowElement::About,
       addCommand(commandText(viewertext::kAbout), QKeySequence(), &ViewerWindow::showAbout)},
      {WindowElement::Exit,
       addCommand(commandText(viewertext::kExit), QKeySequence::Quit, &ViewerWindow::quit)},
  };
  for (const Command& command : commands) {
    command.action->setObjectName(command.action->text());
    command.action->setEnabled(s.element(command.element));
    command.action->setVisible(s.element(command.element));
  }
  auto offered = [&](WindowElement which) -> QAction* {
    for (const Command& command : commands) {
      if (command.element == which && s.element(which)) return command.action;
    }
    return nullptr;
  };

  if (!s.fixedSize) {
    QMenu* file = nullptr;
    if (QAction* print = offered(WindowElement::Print))
      (file = menuBar()->addMenu(viewerText(viewertext::kMenuFile)))->addAction(print);
    if (QAction* exit = offered(WindowElement::Exit)) {
      if (!file)
        file = menuBar()->addMenu(viewerText(viewertext::kMenuFile));
      else
        file->addSeparator();
      file->addAction(exit);
    }
    QMenu* go = nullptr;
    for (WindowElement which : {WindowElement::Back, WindowElement::Forward, WindowElement::Home,
                                WindowElement::Reload}) {
      if (QAction* action = offered(which)) {
        if (!go) go = menuBar()->addMenu(viewerText(viewertext::kMenuView));
        go->addAction(action);
      }
    }
    if (QAction* about = offered(WindowElement::About))
      menuBar()->addMenu(viewerText(viewertext::kMenuHelp))->addAction(about);
  }

  if (s.element(WindowElement::Toolbar)) {
    QToolBar* bar = addToolBar(viewerText(viewertext::kToolbar));
    bar->setObjectName(QStringLiteral("ToolBar"));
    bar->setMovable(false);
    for (WindowElement which : {WindowElement::Back, WindowElement::Forward, WindowElement::Home,
                                WindowElement::Reload}) {
      if (QAction* action = offered(which)) bar->addAction(action);
    }
    bar->addSeparator();
    for (WindowElement which : {WindowElement::Print, WindowElement::About, WindowElement::Exit}) {
      if (QAction* action = offered(which)) bar->addAction(action);
    }
  }
}

void ViewerWindow::start() {
  const ProjectSettings& s = settings_.settings;
  const int width = usableWindowExtent(s.width);
  const int height = usableWindowExtent(s.height);
  if (s.definedSize) {
    resize(width, height);
    if (s.fixedSize) setFixedSize(width, height);
    show();
  } else {
    showMaximized();
  }
  goHome();
}

void ViewerWindow::goBack() { view_->back(); }
void ViewerWindow::goForward() { view_->forward(); }
void ViewerWindow::goHome() { view_->load(page_); }
void ViewerWindow::reload() { view_->reload(); }

void ViewerWindow::printPage() {
  if (printer_) return;  // the engine prints one page at a time
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  QPrintDialog dialog(printer.get(), this);
  dialog.setWindowTitle(viewerText(viewertext::kPrintDialogTitle));
  if (dialog.exec() != QDialog::Accepted) return;
  // The printer must live until the engine has finished with it.
  printer_ = std::move(printer);
  view_->print(printer_.get());
}

void ViewerWindow::showAbout() {
  const QString name = fromModel(settings_.settings.projectName);
  QMessageBox box(QMessageBox::Information, viewerText(viewertext::kAboutTitlePrefix) + name,
                  name + viewerText(viewertext::kAboutText), QMessageBox::Ok, this);
  box.setObjectName(QStringLiteral("AboutBox"));
  box.setIconPixmap(windowIcon().pixmap(32, 32));
  box.exec();
}

void ViewerWindow::quit() { close(); }

}  // namespace vantrel::viewer
