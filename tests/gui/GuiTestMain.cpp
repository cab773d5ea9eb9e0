#include <QStandardPaths>
#include <QTest>

#include "app/VantrelApplication.h"
#include "controls/browser/BrowserEngine.h"
#include "tests/gui/GuiTests.h"
#include "tests/gui/LookTests.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QStandardPaths::setTestModeEnabled(true);
  vantrel::browser::prepareBrowserEngine();
  vantrel::VantrelApplication app(argc, argv);
  vantrel::loadGermanTranslations(app);
  int failures = 0;
  {
    vantrel::test::TestControls test;
    failures += QTest::qExec(&test, argc, argv);
  }
  {
    vantrel::test::TestMainForm test;
    failures += QTest::qExec(&test, argc, argv);
  }
  {
    vantrel::test::TestFieldList test;
    failures += QTest::qExec(&test, argc, argv);
  }
  {
    vantrel::test::TestFieldEditor test;
    failures += QTest::qExec(&test, argc, argv);
  }
  {
    vantrel::test::TestProjectCommands test;
    failures += QTest::qExec(&test, argc, argv);
  }
  {
    vantrel::test::TestPreview test;
    failures += QTest::qExec(&test, argc, argv);
  }
  {
    vantrel::test::TestLook test;
    failures += QTest::qExec(&test, argc, argv);
  }
  return failures == 0 ? 0 : 1;
}
