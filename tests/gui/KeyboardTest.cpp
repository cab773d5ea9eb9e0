// The main window and the field editor from the keyboard alone, with the window active as a
// user has it: shortcuts of the tool bar, Enter in the list, Tab to every button, mnemonics.

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>
#include <functional>
#include <initializer_list>
#include <vector>

#include "app/AnswersForm.h"
#include "app/FormMailDialog.h"
#include "gui/EditFieldsFUnit.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/GuiTests.h"
#include "tests/gui/MainFormFixture.h"
#include "widgets/ImageBtnUnit.h"
#include "widgets/SpinEdit.h"

namespace vantrel::test {

namespace {

// A key as the user presses it: to whatever has the focus in the active window.
void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QWidget* window = QApplication::activeWindow();
  QWidget* focused = QApplication::focusWidget();
  QWidget* target = focused && focused->window() == window ? focused : window;
  QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
}

// Activates `window` as a click on it would and waits until it is the one that gets the keys:
// active on the platform and to the application, which hears of it a little later.
bool becomesActive(QWidget& window) {
  window.activateWindow();
  if (!QTest::qWaitForWindowActive(&window)) return false;
  QDeadlineTimer deadline(5000);
  while (QApplication::activeWindow() != &window && !deadline.hasExpired()) QTest::qWait(10);
  return QApplication::activeWindow() == &window;
}

void fillList(TMainForm& form, const std::string& names) {
  for (char c : names) {
    fieldListOf(form)->appendField(
        FormField{std::string(1, c), "Textfeld", "", "", "40", "5", "0", "Ja", "Nein"});
  }
}

QString focusedName() {
  QWidget* focused = QApplication::focusWidget();
  return focused ? focused->objectName() : QString();
}

// The names of everything Tab reaches on the current tab, going once around.
QStringList tabChain(QWidget& start) {
  start.setFocus(Qt::TabFocusReason);
  QStringList names;
  for (int step = 0; step < 120; ++step) {
    const QString name = focusedName();
    if (!name.isEmpty() && names.contains(name)) break;
    names.append(name);
    press(Qt::Key_Tab);
  }
  return names;
}

// The names of everything Tab (or Shift+Tab) reaches from `start`, `start` first, up to the
// first that comes again, which ends the list too: `start` when Tab goes round the window.
QStringList walkOnce(QWidget& start, bool backwards) {
  start.setFocus(Qt::TabFocusReason);
  QStringList names;
  for (int step = 0; step < 120; ++step) {
    const QString name = focusedName();
    names.append(name);
    if (names.indexOf(name) != names.size() - 1) break;
    press(backwards ? Qt::Key_Backtab : Qt::Key_Tab);
  }
  return names;
}

QStringList namesOf(std::initializer_list<const char*> names) {
  QStringList list;
  for (const char* name : names) list.append(QString::fromLatin1(name));
  return list;
}

// Tabs until `name` has the focus; false when Tab never gets there.
bool tabTo(const QString& name) {
  for (int step = 0; step < 120 && focusedName() != name; ++step) press(Qt::Key_Tab);
  return focusedName() == name;
}

// The mnemonic letters the user can press now in `window`, with the controls they belong to.
QMultiHash<QChar, QString> visibleMnemonics(QWidget& window) {
  QMultiHash<QChar, QString> letters;
  for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
    const QChar letter = mnemonicOf(button->text());
    if (button->isVisible() && !letter.isNull()) letters.insert(letter, button->objectName());
  }
  for (QLabel* label : window.findChildren<QLabel*>()) {
    const QChar letter = mnemonicOf(label->text());
    if (label->isVisible() && label->buddy() && !letter.isNull())
      letters.insert(letter, label->text());
  }
  for (QTabBar* bar : window.findChildren<QTabBar*>()) {
    for (int i = 0; bar->isVisible() && i < bar->count(); ++i) {
      const QChar letter = mnemonicOf(bar->tabText(i));
      if (!letter.isNull()) letters.insert(letter, bar->tabText(i));
    }
  }
  return letters;
}

}  // namespace

void TestKeyboard::toolBarCommandsHaveTheirShortcuts() {
  struct Case {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    QString question;  // the question asked, or none when a save dialog opens
  };
  const Case cases[] = {
      {"Ctrl+N", Qt::Key_N, Qt::ControlModifier, QStringLiteral("Datei/Neu")},
      {"Ctrl+O", Qt::Key_O, Qt::ControlModifier, QStringLiteral("Datei/Öffnen")},
      {"Ctrl+S", Qt::Key_S, Qt::ControlModifier, QString()},
      {"Ctrl+Shift+S", Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier, QString()},
  };
  for (const Case& c : cases) {
    MainFormFixture fixture;
    QVERIFY(becomesActive(*fixture.form));
    MessageBoxRecorder messages;
    messages.answer = IDCANCEL;
    FileDialogRecorder dialogs;
    named<QLineEdit>(fixture.form.get(), "emailEd")->setFocus();
    press(c.key, c.modifiers);
    if (c.question.isEmpty()) {
      QVERIFY2(messages.shown.isEmpty(), c.name);
      QVERIFY2(dialogs.requests.size() == 1, c.name);
      QVERIFY2(dialogs.requests[0].kind == FileDialogRequest::Kind::Save, c.name);
    } else {
      QVERIFY2(messages.shown.size() == 1, c.name);
      QVERIFY2(messages.shown[0].title == c.question, c.name);
      QVERIFY2(dialogs.requests.isEmpty(), c.name);
    }
  }
}

// A shortcut is no focus move: a size typed and not confirmed is saved as typed.
void TestKeyboard::shortcutsLeaveTheFocusAndWhatWasTypedAlone() {
  MainFormFixture fixture;
  TMainForm& form = *fixture.form;
  QVERIFY(becomesActive(form));
  MessageBoxRecorder messages;
  FileDialogRecorder dialogs;
  const QString path = fixture.filePath(QStringLiteral("tasten.vtq"));
  dialogs.answers = {path};
  named<QTabWidget>(&form, "PageControl2")->setCurrentIndex(2);
  auto* width = named<SpinEdit>(&form, "WidthEd");
  width->setFocus();
  width->setText(QString());
  QTest::keyClicks(width, QStringLiteral("5000"));
  press(Qt::Key_S, Qt::ControlModifier);
  QCOMPARE(form.savedFileName(), path);
  QCOMPARE(readAll(path).mid(39, 4), QByteArray("\x88\x13\0\0", 4));  // 5000
  QCOMPARE(QApplication::focusWidget(), width);
  QCOMPARE(width->text(), QStringLiteral("5000"));
}

void TestKeyboard::enterOnARowOpensTheFieldEditor() {
  MainFormFixture fixture;
  TMainForm& form = *fixture.form;
  QVERIFY(becomesActive(form));
  fillList(form, "AB");
  selectRow(form, 1);
  auto* list = named<QTreeView>(&form, "ListView1");
  for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
    QVERIFY(becomesActive(form));
    list->setFocus();
    QString shownName;
    QVERIFY(whileModal(
        fixture.editor, [&] { press(key); },
        [&] {
          shownName = named<QLineEdit>(fixture.editor, "NameEd")->text();
          named<QPushButton>(fixture.editor, "CancelBtn")->click();
        }));
    QCOMPARE(shownName, QStringLiteral("B"));
  }
}

// Every window, Tab forwards and Shift+Tab backwards: each control in the order it is read on the
// screen, the chosen one of two radio buttons, nothing twice. Commands that need a selected row
// are reached when one is selected.
void TestKeyboard::tabWalksEveryWindowInScreenOrder() {
  const QStringList toolBar =
      namesOf({"NewBtn", "OpenBtn", "SaveBtn", "SaveAsBtn", "SettingsBtn", "qt_tabwidget_tabbar"});
  const QStringList bottomBar = namesOf({"wwwBtn", "AnswersBtn", "ueberbtn", "endebtn"});
  const QStringList exeTab = namesOf(
      {"EXENameEdit", "EXENameBrowseBtn", "GoBtn1", "AutoStartCheck", "OpenIconBtn", "StdIconBtn"});
  const QStringList sizesAndElements =
      namesOf({"WidthEd", "HeightEd", "FixedSizeCheck", "CheckBox1", "CheckBox2", "CheckBox3",
               "CheckBox4", "CheckBox5", "CheckBox6", "CheckBox7", "CheckBox8", "CheckBox9",
               "CheckBox10", "NameED", "SurveyEd", "SurveyProposeBtn"});
  struct Case {
    const char* name;
    // Opens the window as the user finds it and gives the control Tab starts from.
    std::function<QWidget*(MainFormFixture&)> open;
    QStringList expected;
  };
  const auto mainWindowOnTab = [](int tab, std::function<void(TMainForm&)> prepare) {
    return [tab, prepare](MainFormFixture& fixture) -> QWidget* {
      TMainForm& form = *fixture.form;
      named<QTabWidget>(&form, "PageControl2")->setCurrentIndex(tab);
      if (prepare) prepare(form);
      return becomesActive(form) ? named<QWidget>(&form, "NewBtn") : nullptr;
    };
  };
  // The size first: choosing the target must leave it alone.
  const auto choose = [](const char* target, const char* size) {
    return [target, size](TMainForm& form) {
      named<QRadioButton>(&form, size)->setChecked(true);
      named<QRadioButton>(&form, target)->setChecked(true);
    };
  };
  const Case cases[] = {
      {"fields, nothing selected",
       mainWindowOnTab(0, [](TMainForm& form) { fillList(form, "AB"); }),
       toolBar + namesOf({"NewFieldBtn", "emailEd", "ListView1", "UpBtn", "DownBtn"}) + bottomBar},
      {"fields, a row selected",
       mainWindowOnTab(0,
                       [](TMainForm& form) {
                         fillList(form, "AB");
                         selectRow(form, 1);
                       }),
       toolBar +
           namesOf({"NewFieldBtn", "EditFieldBtn", "DelFieldBtn", "emailEd", "ListView1", "UpBtn",
                    "DownBtn"}) +
           bottomBar},
      {"exe, Windows and defined size", mainWindowOnTab(2, choose("TargetWindows", "DefSizeCheck")),
       toolBar + namesOf({"TargetWindows"}) + exeTab + namesOf({"DefSizeCheck"}) +
           sizesAndElements + bottomBar},
      {"exe, Linux and full screen", mainWindowOnTab(2, choose("TargetLinux", "FullScreenCheck")),
       toolBar + namesOf({"TargetLinux"}) + exeTab + namesOf({"FullScreenCheck"}) +
           sizesAndElements + bottomBar},
      {"exe, Linux and defined size", mainWindowOnTab(2, choose("TargetLinux", "DefSizeCheck")),
       toolBar + namesOf({"TargetLinux"}) + exeTab + namesOf({"DefSizeCheck"}) + sizesAndElements +
           bottomBar},
      {"settings",
       [](MainFormFixture& fixture) -> QWidget* {
         auto* dialog = new FormMailDialog(QString(), fixture.form.get());
         dialog->setAttribute(Qt::WA_DeleteOnClose);
         dialog->show();
         return becomesActive(*dialog) ? named<QWidget>(dialog, "AddressEd") : nullptr;
       },
       namesOf({"AddressEd", "SignCheck", "CertificateEd", "TimestampEd", "OkBtn", "CancelBtn"})},
      {"answers",
       [](MainFormFixture& fixture) -> QWidget* {
         named<QPushButton>(fixture.form.get(), "AnswersBtn")->click();
         auto* window = named<TAnswersForm>(fixture.form.get(), "AnswersForm");
         return becomesActive(*window) ? named<QWidget>(window, "OpenFolderBtn") : nullptr;
       },
       namesOf({"OpenFolderBtn", "OpenFileBtn", "OpenMailboxBtn", "qt_tabwidget_tabbar",
                "AnswersTable"})},
  };
  for (const Case& c : cases) {
    MainFormFixture fixture;
    QWidget* start = c.open(fixture);
    QVERIFY2(start, c.name);
    const QStringList roundTrip = c.expected + QStringList{c.expected.front()};
    const QStringList forwards = walkOnce(*start, false);
    QVERIFY2(forwards == roundTrip, qPrintable(QString::fromLatin1(c.name) + u'\n' +
                                               forwards.join(u',') + u'\n' + roundTrip.join(u',')));
    QStringList backwards = walkOnce(*start, true);
    std::reverse(backwards.begin(), backwards.end());
    QVERIFY2(backwards == roundTrip,
             qPrintable(QString::fromLatin1(c.name) + u'\n' + backwards.join(u',')));
  }
}

// Delete in the list asks what Escape and "Feld löschen" ask, and deletes only on OK.
void TestKeyboard::deleteInTheListAsksAsEscapeDoes() {
  for (const Qt::Key key : {Qt::Key_Delete, Qt::Key_Escape}) {
    MainFormFixture fixture;
    TMainForm& form = *fixture.form;
    QVERIFY(becomesActive(form));
    MessageBoxRecorder messages;
    messages.answers = {IDCANCEL, IDOK};
    fillList(form, "AB");
    selectRow(form, 1);
    named<QTreeView>(&form, "ListView1")->setFocus();
    press(key);
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].text, QStringLiteral("Hiermit löschen Sie das Textfeld."));
    QCOMPARE(messages.shown[0].title, QStringLiteral("Textfeld löschen"));
    QCOMPARE(messages.shown[0].flags, MB_OKCANCEL | MB_ICONQUESTION);
    QCOMPARE(fieldListOf(form)->rowCount(), 2);
    press(key);
    QCOMPARE(messages.shown.size(), 2);
    QCOMPARE(fieldListOf(form)->rowCount(), 1);
    QCOMPARE(fieldListOf(form)->fieldAt(0).InternalName, std::string("A"));
    QCOMPARE(selectedRow(form), -1);
    press(key);  // nothing selected: nothing asked
    QCOMPARE(messages.shown.size(), 2);
  }
}

namespace {

// Whether the list paints anything in colour: its rows are black on white, and only a
// selection or a band that looks like one is coloured.
bool listShowsColour(QTreeView& list) {
  const QImage image = list.viewport()->grab().toImage();
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor colour = image.pixelColor(x, y);
      const int spread = std::max({colour.red(), colour.green(), colour.blue()}) -
                         std::min({colour.red(), colour.green(), colour.blue()});
      if (spread > 24) return true;
    }
  }
  return false;
}

}  // namespace

// Tab into a list without a selection shows no band, and the commands that need a row are off
// until the arrow key selects one; after a delete both are gone again.
void TestKeyboard::withoutASelectedRowNoBandAndNoRowCommands() {
  MainFormFixture fixture;
  TMainForm& form = *fixture.form;
  QVERIFY(becomesActive(form));
  MessageBoxRecorder messages;  // answers OK
  fillList(form, "AB");
  auto* list = named<QTreeView>(&form, "ListView1");
  auto* edit = named<QPushButton>(&form, "EditFieldBtn");
  auto* remove = named<QPushButton>(&form, "DelFieldBtn");
  const auto shows = [&](bool selection) {
    QApplication::processEvents();
    return edit->isEnabled() == selection && remove->isEnabled() == selection &&
           list->currentIndex().isValid() == selection && listShowsColour(*list) == selection;
  };
  QVERIFY(shows(false));
  named<QLineEdit>(&form, "emailEd")->setFocus();
  QVERIFY(tabTo(QStringLiteral("ListView1")));
  QVERIFY(shows(false));
  press(Qt::Key_Down);
  QCOMPARE(selectedRow(form), 0);
  QVERIFY(shows(true));
  press(Qt::Key_Delete);
  QCOMPARE(messages.shown.size(), 1);
  QCOMPARE(fieldListOf(form)->rowCount(), 1);
  QVERIFY(shows(false));
  selectRow(form, 0);
  QVERIFY(shows(true));
  fieldListOf(form)->setFields(FieldList());
  QVERIFY(shows(false));
}

void TestKeyboard::tabReachesTheToolBarAndThePictureButtons() {
  MainFormFixture fixture;
  TMainForm& form = *fixture.form;
  QVERIFY(becomesActive(form));
  auto* tabs = named<QTabWidget>(&form, "PageControl2");
  const QStringList onFirstTab = tabChain(*named<QLineEdit>(&form, "emailEd"));
  for (const char* name : {"NewBtn", "OpenBtn", "SaveBtn", "SaveAsBtn", "NewFieldBtn", "emailEd",
                           "ListView1", "ueberbtn", "endebtn"}) {
    QVERIFY2(onFirstTab.contains(QString::fromLatin1(name)),
             qPrintable(QString::fromLatin1(name) + u' ' + onFirstTab.join(u',')));
  }
  tabs->setCurrentIndex(2);
  const QStringList onThirdTab = tabChain(*named<QLineEdit>(&form, "NameED"));
  for (const char* name :
       {"NewBtn", "SaveAsBtn", "EXENameEdit", "GoBtn1", "WidthEd", "ueberbtn", "endebtn"}) {
    QVERIFY2(onThirdTab.contains(QString::fromLatin1(name)),
             qPrintable(QString::fromLatin1(name) + u' ' + onThirdTab.join(u',')));
  }
}

// Space or Enter presses a picture button that has the focus; Escape still belongs to the
// window; a mouse click leaves the focus where it was.
void TestKeyboard::pictureButtonsAreKeptByTheKeyboardNotByTheMouse() {
  MainFormFixture fixture;
  TMainForm& form = *fixture.form;
  QVERIFY(becomesActive(form));
  MessageBoxRecorder messages;
  messages.answer = IDCANCEL;
  fillList(form, "A");
  selectRow(form, 0);

  named<QLineEdit>(&form, "emailEd")->setFocus();
  QVERIFY(tabTo(QStringLiteral("endebtn")));
  press(Qt::Key_Space);
  QCOMPARE(messages.shown.size(), 1);
  QCOMPARE(messages.shown[0].title, QStringLiteral("Programm beenden"));
  QVERIFY(form.isVisible());
  press(Qt::Key_Escape);  // "Feld löschen" on the first tab, as from anywhere else
  QCOMPARE(messages.shown.size(), 2);
  QCOMPARE(messages.shown[1].title, QStringLiteral("Textfeld löschen"));

  named<QTabWidget>(&form, "PageControl2")->setCurrentIndex(2);
  named<QLineEdit>(&form, "NameED")->setFocus();
  QVERIFY(tabTo(QStringLiteral("GoBtn1")));
  press(Qt::Key_Return);  // builds: without an address it sends the user to the first tab
  QCOMPARE(messages.shown.size(), 3);
  QCOMPARE(named<QTabWidget>(&form, "PageControl2")->currentIndex(), 0);

  auto* email = named<QLineEdit>(&form, "emailEd");
  email->setFocus();
  QTest::mouseClick(named<TImageBtn>(&form, "endebtn"), Qt::LeftButton, {}, QPoint(10, 10));
  QCOMPARE(messages.shown.size(), 4);
  QCOMPARE(QApplication::focusWidget(), email);
}

void TestKeyboard::mnemonicsAreUniqueOnEveryTab() {
  MainFormFixture fixture;
  TMainForm& form = *fixture.form;
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  auto* tabs = named<QTabWidget>(&form, "PageControl2");
  const std::vector<const char*> expected[] = {
      {"NewFieldBtn", "EditFieldBtn", "DelFieldBtn"},
      {"BackButton", "FwdButton", "HomeBtn", "ReloadButton"},
      {"OpenIconBtn", "StdIconBtn", "AutoStartCheck", "DefSizeCheck", "FullScreenCheck",
       "FixedSizeCheck"}};
  for (int tab = 0; tab < 3; ++tab) {
    tabs->setCurrentIndex(tab);
    const QMultiHash<QChar, QString> letters = visibleMnemonics(form);
    for (const QChar letter : letters.uniqueKeys()) {
      QVERIFY2(letters.count(letter) == 1, qPrintable(QStringLiteral("tab %1, Alt+%2: %3")
                                                          .arg(tab)
                                                          .arg(letter)
                                                          .arg(letters.values(letter).join(u','))));
    }
    for (const char* name : expected[tab]) {
      QVERIFY2(!mnemonicOf(named<QAbstractButton>(&form, name)->text()).isNull(), name);
    }
    for (const char* name :
         {"NewBtn", "OpenBtn", "SaveBtn", "SaveAsBtn", "SettingsBtn", "AnswersBtn"}) {
      QVERIFY2(!mnemonicOf(named<QAbstractButton>(&form, name)->text()).isNull(), name);
    }
    // The tool bar, the bottom bar and the tabs besides.
    QVERIFY2(letters.size() >= 9 + int(expected[tab].size()),
             qPrintable(QString::number(letters.size())));
  }
  TEditFieldsForm& editor = *fixture.editor;
  editor.show();
  QVERIFY(QTest::qWaitForWindowExposed(&editor));
  const QMultiHash<QChar, QString> letters = visibleMnemonics(editor);
  for (const QChar letter : letters.uniqueKeys())
    QVERIFY2(letters.count(letter) == 1, qPrintable(QString(letter)));
  QVERIFY2(letters.size() >= 9, qPrintable(QString::number(letters.size())));
  editor.hide();
}

void TestKeyboard::mnemonicsReachTheirControls() {
  struct Case {
    int tab;
    Qt::Key key;
    std::function<bool(TMainForm&, const MessageBoxRecorder&)> reached;
  };
  const auto focusOn = [](const char* name) {
    return [name](TMainForm&, const MessageBoxRecorder&) {
      return focusedName() == QString::fromLatin1(name);
    };
  };
  const auto asked = [](const char* title) {
    return [title](TMainForm&, const MessageBoxRecorder& messages) {
      return messages.shown.size() == 1 && messages.shown[0].title == QString::fromUtf8(title);
    };
  };
  const auto onTab = [](int index) {
    return [index](TMainForm& form, const MessageBoxRecorder&) {
      return named<QTabWidget>(&form, "PageControl2")->currentIndex() == index;
    };
  };
  const Case cases[] = {
      {0, Qt::Key_F, asked("Datei/Öffnen")},
      {0, Qt::Key_N, asked("Datei/Neu")},
      {0, Qt::Key_L, asked("Textfeld löschen")},
      {0, Qt::Key_M, focusOn("emailEd")},
      {0, Qt::Key_X, onTab(2)},
      {2, Qt::Key_R,
       [](TMainForm& form, const MessageBoxRecorder&) {
         auto* answers = form.findChild<QWidget*>(QStringLiteral("AnswersForm"));
         return answers && answers->isVisible();
       }},
      {2, Qt::Key_V, onTab(1)},
      {1, Qt::Key_O, onTab(0)},
      {2, Qt::Key_B, focusOn("WidthEd")},
      {2, Qt::Key_H, focusOn("HeightEd")},
      {2, Qt::Key_P, focusOn("NameED")},
      {2, Qt::Key_A, focusOn("EXENameEdit")},
      {2, Qt::Key_K,
       [](TMainForm& form, const MessageBoxRecorder&) {
         return named<QCheckBox>(&form, "FixedSizeCheck")->isChecked();
       }},
  };
  for (const Case& c : cases) {
    MainFormFixture fixture;
    TMainForm& form = *fixture.form;
    QVERIFY(becomesActive(form));
    MessageBoxRecorder messages;
    messages.answer = IDCANCEL;
    fillList(form, "A");
    selectRow(form, 0);
    named<QTabWidget>(&form, "PageControl2")->setCurrentIndex(c.tab);
    form.setFocus();
    press(c.key, Qt::AltModifier);
    const QString name = QStringLiteral("tab %1, Alt+%2").arg(c.tab).arg(QChar(c.key));
    QTRY_VERIFY2(c.reached(form, messages), qPrintable(name));
  }
}

void TestKeyboard::fieldEditorMnemonicsReachTheirControls() {
  MainFormFixture fixture;
  TMainForm& form = *fixture.form;
  QVERIFY(becomesActive(form));
  TEditFieldsForm* editor = fixture.editor;
  QStringList reached;
  QVERIFY(whileModal(
      editor, [&] { named<QPushButton>(&form, "NewFieldBtn")->click(); },
      [&] {
        QVERIFY(becomesActive(*editor));
        for (const Qt::Key key :
             {Qt::Key_I, Qt::Key_F, Qt::Key_B, Qt::Key_H, Qt::Key_Z, Qt::Key_L, Qt::Key_M}) {
          press(key, Qt::AltModifier);
          reached.append(focusedName());
        }
        press(Qt::Key_W, Qt::AltModifier);
        QTRY_VERIFY(named<QCheckBox>(editor, "PflichtCheck")->isChecked());
        named<QPushButton>(editor, "CancelBtn")->click();
      }));
  QStringList expected;
  for (const char* name :
       {"NameEd", "FieldTyp", "DescEd", "ValueEd", "BreitEd", "HochEd", "MaxCharEd"}) {
    expected.append(QString::fromLatin1(name));
  }
  QCOMPARE(reached, expected);
}

}  // namespace vantrel::test
