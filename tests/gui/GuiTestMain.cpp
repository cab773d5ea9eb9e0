#include <QStandardPaths>
#include <QTest>

#include "app/AnswersForm.h"
#include "app/VantrelApplication.h"
#include "tests/gui/GuiTests.h"
#include "tests/gui/LookTests.h"
#include "tests/gui/StartUpTests.h"
#include "widgets/Fonts.h"
#include "widgets/browser/BrowserEngine.h"

namespace {

template <typename... TestClass>
int runAll(int argc, char** argv) {
  int failures = 0;
  const auto run = [&](auto test) { failures += QTest::qExec(&test, argc, argv); };
  (run(TestClass{}), ...);
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  // Times show in local time: one zone for every run, wherever it runs.
  qputenv("TZ", "Europe/Berlin");
  qputenv("QT_QPA_PLATFORM",
          qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QStandardPaths::setTestModeEnabled(true);
  vantrel::browser::prepareBrowserEngine();
  vantrel::VantrelApplication app(argc, argv);
  vantrel::useLinkedAnswersWindow(&vantrel::makeLinkedAnswersWindow);
  vantrel::loadGermanTranslations(app);
  vantrel::installFontSubstitutes();
  using namespace vantrel::test;
  const int failures =
      runAll<TestControls, TestMainForm, TestFieldList, TestFieldEditor, TestProjectCommands,
             TestPreview, TestLook, TestBuild, TestKeyboard, TestTarget, TestStartUp, TestAnswers>(
          argc, argv);
  return failures == 0 ? 0 : 1;
}
