// Takes pictures of the tool's windows for the documentation:
//   vantrel-screenshots OUTPUT_FOLDER
// Each tab of the main window, the field editor and the about box, with a small sample form,
// and the window "Auswertung" with answers to a survey.
// Under an X server (scripts/screenshots.sh runs it in Xvfb with a window manager) the pictures
// are taken from the screen with the frame and title bar the window manager gives each window;
// on the offscreen platform from the widgets alone.

#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QWebEngineView>

#include "app/AnswersForm.h"
#include "app/FieldListModel.h"
#include "app/LocalPath.h"
#include "app/MainUnit.h"
#include "app/VantrelApplication.h"
#include "gui/AboutBoxUnit.h"
#include "gui/EditFieldsFUnit.h"
#include "tests/gui/AnswersTestData.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/MainFormFixture.h"
#include "tests/support/TempFolder.h"
#include "tests/support/qt/TempFolderPaths.h"
#include "widgets/browser/BrowserEngine.h"

namespace {

vantrel::FormField sampleField(const char* name, int type, const char* caption, const char* content,
                               const char* optional, const char* preselected) {
  vantrel::FieldEditorValues values;
  values.name = name;
  values.typeIndex = type;
  values.caption = caption;
  values.content = content;
  values.width = "40";
  values.height = "5";
  values.maxChars = "0";
  values.mandatory = std::string(optional) == "Nein";
  values.preselected = std::string(preselected) == "Ja";
  return vantrel::fieldFromEditor(values);
}

constexpr int kPageLoadTimeoutMs = 30000;

void save(QWidget& window, const QString& file) {
  (void)QTest::qWaitForWindowExposed(&window);
  QApplication::processEvents();
  QTest::qWait(200);
  const bool onScreen = QGuiApplication::platformName() == QLatin1String("xcb");
  const QRect frame = window.frameGeometry();
  const QPixmap picture =
      onScreen ? window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
               : window.grab();
  if (!picture.save(file)) qWarning("could not write %s", qPrintable(file));
}

}  // namespace

int main(int argc, char** argv) {
  vantrel::browser::prepareBrowserEngine();
  vantrel::VantrelApplication app(argc, argv);
  vantrel::useLinkedAnswersWindow(&vantrel::makeLinkedAnswersWindow);
  vantrel::setUpApplication(app);
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
  QDir().mkpath(folder);

  // The tool writes its page into its data folder: a scratch one, so nothing lands in docs/.
  vantrel::test::TempFolder programFolder;
  vantrel::TMainForm form(vantrel::workingFoldersIn(vantrel::test::pathIn(programFolder)),
                          QString());
  vantrel::TEditFieldsForm editor(&form);
  form.setFieldEditor(&editor);
  auto* list = vantrel::test::fieldListOf(form);
  list->appendField(sampleField("Umfrage", 6, "Kundenumfrage 2026", "", "Ja", "Nein"));
  list->appendField(sampleField("Name", 0, "Ihr Name", "", "Nein", "Nein"));
  list->appendField(sampleField("Zufrieden", 2, "Sehr zufrieden", "sehr", "Ja", "Ja"));
  list->appendField(sampleField("Zufrieden", 2, "Zufrieden", "ja", "Ja", "Nein"));
  list->appendField(sampleField("Newsletter", 3, "Newsletter abonnieren", "ja", "Ja", "Nein"));
  list->appendField(sampleField("Anmerkung", 1, "Anmerkungen", "", "Ja", "Nein"));
  vantrel::test::named<QLineEdit>(&form, "emailEd")
      ->setText(QStringLiteral("umfrage@brixtel.example"));
  vantrel::test::selectRow(form, 1);
  form.show();

  const char* names[] = {"main-formularfelder.png", "main-vorschau.png", "main-exe-erstellen.png"};
  auto* tabs = vantrel::test::named<QTabWidget>(&form, "PageControl2");
  for (int tab = 0; tab < 3; ++tab) {
    tabs->setCurrentIndex(tab);
    // The page loads on its own after the tab asked for it; the browser exists from then on.
    auto* browser = form.findChild<QWebEngineView*>(QStringLiteral("WebBrowser1"));
    if (tab == 1 && browser) {
      QSignalSpy loaded(browser, &QWebEngineView::loadFinished);
      if (!loaded.wait(kPageLoadTimeoutMs)) qWarning("the preview did not load");
    }
    save(form, QDir(folder).filePath(QString::fromLatin1(names[tab])));
  }
  editor.setValues(vantrel::editorValuesFor(list->fieldAt(1), 0));
  editor.show();
  save(editor, QDir(folder).filePath(QStringLiteral("field-editor.png")));
  editor.hide();

  vantrel::TAboutBox about(&form);
  about.show();
  save(about, QDir(folder).filePath(QStringLiteral("about-box.png")));
  about.hide();

  // "Auswertung" with the answers of the small survey, read from a Maildir as the receiver
  // leaves it, captions from the field list in the main window.
  list->setFields(vantrel::FieldList());
  vantrel::test::fillSurvey(form);
  const QString maildir = vantrel::test::pathIn(programFolder, QStringLiteral("Maildir"));
  vantrel::test::writeSurveyMaildir(maildir);
  vantrel::test::named<QPushButton>(&form, "AnswersBtn")->click();
  auto* answers = vantrel::test::named<vantrel::TAnswersForm>(&form, "AnswersForm");
  answers->readSource(vantrel::pathOf(maildir));
  if (!QTest::qWaitFor([answers] { return !answers->reading(); }, kPageLoadTimeoutMs)) {
    qWarning("the answers were not read");
  }
  auto* answerTabs = vantrel::test::named<QTabWidget>(answers, "AnswersTabs");
  save(*answers, QDir(folder).filePath(QStringLiteral("auswertung-tabelle.png")));
  answerTabs->setCurrentIndex(1);
  save(*answers, QDir(folder).filePath(QStringLiteral("auswertung-diagramme.png")));
  return 0;
}
