// The window "Auswertung": answers read back from a Maildir the test writes as the receiver
// does, shown as table and charts with the form's captions, written out as CSV and PDF, and a
// long read cancelled.

#include <QComboBox>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSet>
#include <QtCharts/QChartView>
#include <QtCharts/QHorizontalBarSeries>
#include <fstream>
#include <initializer_list>
#include <string>

#include "answers/Answer.h"
#include "answers/AnswerCsv.h"
#include "answers/AnswerReader.h"
#include "app/AnswersForm.h"
#include "app/LocalPath.h"
#include "tests/gui/AnswersTestData.h"
#include "tests/gui/GuiTests.h"
#include "tests/gui/MainFormFixture.h"

namespace vantrel::test {
namespace {

constexpr int kReadTimeoutMs = 30000;

TAnswersForm* openAnswersWindow(TMainForm& form) {
  named<QPushButton>(&form, "AnswersBtn")->click();
  auto* window = named<TAnswersForm>(&form, "AnswersForm");
  return window;
}

// Presses an open button of the window, answers its dialog with `path` and waits for the read.
bool readThrough(TAnswersForm& window, const char* button, const QString& path) {
  FileDialogRecorder dialogs;
  dialogs.answers.append(path);
  named<QPushButton>(&window, button)->click();
  if (dialogs.requests.size() != 1) return false;
  return QTest::qWaitFor([&] { return !window.reading(); }, kReadTimeoutMs);
}

// Texts of the test as a list the window's texts compare with.
QStringList texts(std::initializer_list<const char*> utf8) {
  QStringList list;
  for (const char* text : utf8) list.append(QString::fromUtf8(text));
  return list;
}

using Bars = std::vector<std::pair<std::string, qreal>>;

// The bars of a field's chart from the top: each choice's label and its count.
Bars barsOf(const TAnswersForm& window, const char* field) {
  const QString name = QStringLiteral("Chart_") + QString::fromLatin1(field);
  auto* view = window.findChild<QChartView*>(name);
  if (!view) return {};
  auto* series = qobject_cast<QHorizontalBarSeries*>(view->chart()->series().value(0));
  auto* axis = qobject_cast<QBarCategoryAxis*>(view->chart()->axes(Qt::Vertical).value(0));
  if (!series || !axis || series->barSets().size() != 1) return {};
  const QBarSet* bars = series->barSets().front();
  Bars fromTop;
  for (int i = bars->count() - 1; i >= 0; --i) {
    fromTop.emplace_back(axis->at(i).toStdString(), bars->at(i));
  }
  return fromTop;
}

QStringList textsOf(const TAnswersForm& window, const char* field) {
  auto* list = window.findChild<QListView*>(QStringLiteral("Texts_") + QString::fromLatin1(field));
  QStringList texts;
  for (int row = 0; list && row < list->model()->rowCount(); ++row) {
    texts.append(list->model()->index(row, 0).data().toString());
  }
  return texts;
}

QStringList headerOf(const QTableView& table) {
  QStringList captions;
  for (int column = 0; column < table.model()->columnCount(); ++column) {
    captions.append(table.model()->headerData(column, Qt::Horizontal).toString());
  }
  return captions;
}

QStringList rowOf(const QTableView& table, int row) {
  QStringList cells;
  for (int column = 0; column < table.model()->columnCount(); ++column) {
    cells.append(table.model()->index(row, column).data().toString());
  }
  return cells;
}

}  // namespace

void TestAnswers::knownAnswersShowAsTableAndChartsWithTheFormsCaptions() {
  MainFormFixture fixture;
  fillSurvey(*fixture.form);
  TAnswersForm* window = openAnswersWindow(*fixture.form);
  QVERIFY(window->isVisible());
  QCOMPARE(window->windowTitle(), QStringLiteral("Auswertung"));
  const QString maildir = fixture.filePath(QStringLiteral("Maildir"));
  writeSurveyMaildir(maildir);
  QVERIFY(readThrough(*window, "OpenFolderBtn", maildir));

  const QString summary = named<QLabel>(window, "SummaryLabel")->text();
  QVERIFY2(
      summary.contains(QStringLiteral(
          "4 Antworten, empfangen vom 06.12.2026 10:30:00 CET bis zum 09.12.2026 00:59:59 CET")),
      qPrintable(summary));
  QVERIFY2(summary.contains(QStringLiteral("Übersprungen: 1 doppelt, 1 ohne Antwortteil, 1 "
                                           "beschädigt\n- ")),
           qPrintable(summary));
  // The problem in German, naming the mail.
  QVERIFY2(summary.contains(QStringLiteral("1700000008.umfrage:2,S: Der Antwortteil (antwort.json) "
                                           "ist kein JSON-Objekt.")),
           qPrintable(summary));

  auto* table = named<QTableView>(window, "AnswersTable");
  QCOMPARE(headerOf(*table), texts({"Empfangen", "Ihr Name", "Wie zufrieden sind Sie?",
                                    "Newsletter abonnieren", "Anmerkungen für uns", "Kanal"}));
  QCOMPARE(table->model()->rowCount(), 4);
  // Sorted by name as a click on its header sorts: the empty name first.
  table->horizontalHeader()->setSortIndicator(1, Qt::AscendingOrder);
  QCOMPARE(rowOf(*table, 0), texts({"09.12.2026 00:59:59 CET", "", "sehr", "ja", "", "mail"}));
  QCOMPARE(rowOf(*table, 1), texts({"07.12.2026 11:00:00 CET", "Anna", "sehr", "ja",
                                    "Grüße; \"gut\"\nzweite Zeile", "post, mail"}));

  QCOMPARE(barsOf(*window, "Zufrieden"), (Bars{{"Sehr zufrieden: 2 (50,0 %)", 2},
                                               {"Zufrieden: 1 (25,0 %)", 1},
                                               {"Unzufrieden: 0 (0,0 %)", 0},
                                               {"keine Angabe: 1 (25,0 %)", 1}}));
  QCOMPARE(barsOf(*window, "Newsletter"),
           (Bars{{"Newsletter abonnieren: 2 (50,0 %)", 2}, {"nicht angekreuzt: 2 (50,0 %)", 2}}));
  QCOMPARE(barsOf(*window, "Kanal"), (Bars{{"per Post: 1 (25,0 %)", 1},
                                           {"per Mail: 2 (50,0 %)", 2},
                                           {"nicht angekreuzt: 2 (50,0 %)", 2}}));
  QStringList names = textsOf(*window, "Name");
  names.sort();  // in the order the mails were read
  QCOMPARE(names, texts({"Anna", "Bert", "Dora"}));
  QVERIFY(barsOf(*window, "Name").empty());
}

void TestAnswers::tableGoesOutAsCsvAndReadsBackTheSame() {
  MainFormFixture fixture;
  fillSurvey(*fixture.form);
  TAnswersForm* window = openAnswersWindow(*fixture.form);
  const QString maildir = fixture.filePath(QStringLiteral("Maildir"));
  writeSurveyMaildir(maildir);
  QVERIFY(readThrough(*window, "OpenFolderBtn", maildir));
  auto* table = named<QTableView>(window, "AnswersTable");
  table->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
  std::vector<QStringList> shown;
  for (int row = 0; row < 4; ++row) shown.push_back(rowOf(*table, row));

  const QString csv = fixture.filePath(QStringLiteral("antworten.csv"));
  {
    FileDialogRecorder dialogs;
    dialogs.answers.append(csv);
    named<QPushButton>(window, "ExportCsvBtn")->click();
    QCOMPARE(dialogs.requests.size(), 1);
    QCOMPARE(dialogs.requests[0].kind, FileDialogRequest::Kind::Save);
  }
  const QByteArray written = readAll(csv);
  QVERIFY(written.startsWith(
      "\xEF\xBB\xBF"
      "\"Eingang (UTC)\";\"Name\";\"Zufrieden\";\"Newsletter\";\"Anmerkung\";\"Kanal\"\r\n"));
  // In the order the table shows; every text quoted, quotes doubled, the line break kept.
  QVERIFY(
      written.contains("\r\n2026-12-07 10:00:00;\"Anna\";\"sehr\";\"ja\";\"Gr\xC3\xBC\xC3\x9F"
                       "e; \"\"gut\"\"\nzweite Zeile\";\"post, mail\"\r\n"));
  QVERIFY(written.endsWith("\r\n2026-12-08 23:59:59;\"\";\"sehr\";\"ja\";\"\";\"mail\"\r\n"));
  // The window says where it wrote, and that a spreadsheet should rather open the workbook.
  const QString saved = named<QLabel>(window, "SavedLabel")->text();
  QVERIFY2(saved.contains(csv) && saved.contains(QStringLiteral(".xlsx")), qPrintable(saved));

  // Read back, the file gives the same table.
  QVERIFY(readThrough(*window, "OpenFileBtn", csv));
  table->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
  QCOMPARE(table->model()->rowCount(), 4);
  for (int row = 0; row < 4; ++row) QCOMPARE(rowOf(*table, row), shown[static_cast<size_t>(row)]);
}

void TestAnswers::reportGoesOutAsPdfWithTitleCountsAndCaptions() {
  MainFormFixture fixture;
  fillSurvey(*fixture.form);
  TAnswersForm* window = openAnswersWindow(*fixture.form);
  const QString maildir = fixture.filePath(QStringLiteral("Maildir"));
  writeSurveyMaildir(maildir);
  QVERIFY(readThrough(*window, "OpenFolderBtn", maildir));
  const QString pdf = fixture.filePath(QStringLiteral("bericht.pdf"));
  {
    FileDialogRecorder dialogs;
    dialogs.answers.append(pdf);
    named<QPushButton>(window, "ExportPdfBtn")->click();
    QCOMPARE(dialogs.requests.size(), 1);
  }
  QVERIFY(readAll(pdf).startsWith("%PDF-"));
  QProcess pdftotext;
  pdftotext.start(QStringLiteral("pdftotext"),
                  {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
  QVERIFY2(pdftotext.waitForFinished(kReadTimeoutMs), "pdftotext (poppler-utils) did not run");
  QCOMPARE(pdftotext.exitCode(), 0);
  const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
  for (const QString& expected :
       {QStringLiteral("Auswertung"), QStringLiteral("4 Antworten, empfangen vom 06.12.2026"),
        QStringLiteral("Wie zufrieden sind Sie?"), QStringLiteral("Sehr zufrieden: 2 (50,0 %)"),
        QStringLiteral("keine Angabe: 1 (25,0 %)"), QStringLiteral("per Mail: 2 (50,0 %)"),
        QStringLiteral("Anmerkungen für uns"), QStringLiteral("Ihr Name"),
        QStringLiteral("Dora")}) {
    QVERIFY2(text.contains(expected), qPrintable(expected + QStringLiteral("\n---\n") + text));
  }
}

// Before anything is read the table shows its header whole; Escape closes the window.
void TestAnswers::emptyTableShowsItsWholeHeaderAndEscapeCloses() {
  MainFormFixture fixture;
  TAnswersForm* window = openAnswersWindow(*fixture.form);
  QVERIFY(QTest::qWaitForWindowExposed(window));
  auto* table = named<QTableView>(window, "AnswersTable");
  QHeaderView* header = table->horizontalHeader();
  QCOMPARE(header->count(), 1);
  QCOMPARE(table->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Empfangen"));
  QVERIFY2(
      header->sectionSize(0) >= header->sectionSizeHint(0),
      qPrintable(
          QStringLiteral("%1 < %2").arg(header->sectionSize(0)).arg(header->sectionSizeHint(0))));
  window->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(window));
  table->setFocus();
  QTest::keyClick(table, Qt::Key_Escape);
  QVERIFY(!window->isVisible());
  QVERIFY(fixture.form->isVisible());
}

void TestAnswers::cancelStopsALongRead() {
  MainFormFixture fixture;
  TAnswersForm* window = openAnswersWindow(*fixture.form);
  constexpr int kRows = 50000;
  const QString csv = fixture.filePath(QStringLiteral("viele.csv"));
  {
    std::ofstream out(pathOf(csv), std::ios::binary);
    out << "\xEF\xBB\xBF" << answers::csvRecord({"Eingang (UTC)", "Name", "Zufrieden"}, ';');
    for (int row = 0; row < kRows; ++row) {
      out << answers::csvRecord({"2026-12-07 10:00:00", "Person " + std::to_string(row), "ja"},
                                ';');
    }
  }
  FileDialogRecorder dialogs;
  dialogs.answers.append(csv);
  named<QPushButton>(window, "OpenFileBtn")->click();
  QVERIFY(window->reading());
  // The reader waits for the window after a few batches, so it cannot be through yet.
  auto* progress = named<QProgressDialog>(window, "ReadProgress");
  QVERIFY(progress->isVisible());
  QPushButton* cancel = progress->findChild<QPushButton*>();
  QVERIFY(cancel);
  cancel->click();
  QVERIFY(QTest::qWaitFor([&] { return !window->reading(); }, kReadTimeoutMs));
  QVERIFY(!progress->isVisible());
  QVERIFY(window->readSummary().cancelled);
  QVERIFY2(window->report().answers < kRows, qPrintable(QString::number(window->report().answers)));
  QVERIFY(named<QLabel>(window, "SummaryLabel")->text().contains(QStringLiteral("abgebrochen")));
}

// Answers of two surveys, with texts that look like markup and more names than columns: the
// window lists the surveys and shows one, draws every text as written, says what it left out,
// saves a workbook; a folder without mails leaves nothing to save.
void TestAnswers::surveysAreChosenAndPostedTextStaysPlain() {
  MainFormFixture fixture;
  TAnswersForm* window = openAnswersWindow(*fixture.form);
  const QString maildir = fixture.filePath(QStringLiteral("Maildir"));
  const std::filesystem::path root = pathOf(maildir);
  for (const char* part : {"cur", "new", "tmp"}) std::filesystem::create_directories(root / part);
  const std::string label = "<img src=x><b>fett</b><!--";
  std::vector<answers::Answer> posted;
  for (int i = 0; i < 3; ++i) {
    posted.push_back(surveyAnswer("2026-12-07T10:00:0" + std::to_string(i) + "Z",
                                  "<k" + std::to_string(i) + "@x>",
                                  {{"Name", "<b>Name</b>"}, {"Farbe", label}}));
    posted.back().survey = "kunden";
  }
  answers::Answer wide = surveyAnswer("2026-12-07T11:00:00Z", "<wide@x>", {{"Name", "w"}});
  wide.survey = "kunden";
  constexpr int kNewNames = 60;
  for (int i = 0; i < kNewNames; ++i) wide.fields.emplace_back("n" + std::to_string(i), "v");
  posted.push_back(wide);
  posted.push_back(surveyAnswer("2026-12-07T12:00:00Z", "<o@x>",
                                {{"Name", std::string(400, 'l')}, {"Farbe", "rot"}}));
  for (std::size_t i = 0; i < posted.size(); ++i)
    writeMailFile(root / "new" / ("17000000" + std::to_string(i)), surveyMail(posted[i]));
  QVERIFY(readThrough(*window, "OpenFolderBtn", maildir));

  auto* surveys = named<QComboBox>(window, "SurveyBox");
  QCOMPARE(surveys->count(), 2);
  QCOMPARE(surveys->itemText(0), QStringLiteral("„kunden“ (4)"));
  QCOMPARE(surveys->itemText(1), QStringLiteral("ohne Umfrage-Kennung (1)"));
  QCOMPARE(surveys->currentIndex(), 0);
  auto* table = named<QTableView>(window, "AnswersTable");
  QCOMPARE(table->model()->rowCount(), 4);
  // Name and Farbe, then fifty of the sixty names only one answer carries.
  QCOMPARE(table->model()->columnCount(), 1 + 2 + static_cast<int>(answers::kMostExtraColumns));
  const QString summary = named<QLabel>(window, "SummaryLabel")->text();
  QVERIFY2(summary.contains(QStringLiteral("10 weitere Feldnamen ohne eigene Spalte")),
           qPrintable(summary));

  // The chart's title and labels as drawn: the poster's text, never markup.
  auto* view = window->findChild<QChartView*>(QStringLiteral("Chart_Farbe"));
  QVERIFY(view);
  named<QTabWidget>(window, "AnswersTabs")->setCurrentIndex(1);
  QVERIFY(QTest::qWaitForWindowExposed(view));
  QTest::qWait(50);
  QStringList drawn;
  for (QGraphicsItem* item : view->scene()->items()) {
    if (auto* text = dynamic_cast<QGraphicsTextItem*>(item)) drawn.append(text->toPlainText());
  }
  // (A label too long for its room ends in "...".)
  QVERIFY2(std::any_of(drawn.begin(), drawn.end(),
                       [&](const QString& text) {
                         return text.startsWith(QString::fromStdString(label) + QLatin1Char(':'));
                       }),
           qPrintable(drawn.join(QLatin1Char('|'))));
  QVERIFY(barsOf(*window, "Farbe").size() >= 2);

  surveys->setCurrentIndex(1);
  emit surveys->activated(1);
  QCOMPARE(table->model()->rowCount(), 1);
  QCOMPARE(rowOf(*table, 0).value(1), QString(400, QLatin1Char('l')));
  QVERIFY2(table->columnWidth(1) <= window->width() / 2,
           qPrintable(QString::number(table->columnWidth(1))));

  const QString book = fixture.filePath(QStringLiteral("antworten.xlsx"));
  {
    FileDialogRecorder dialogs;
    dialogs.answers.append(book);
    named<QPushButton>(window, "ExportXlsxBtn")->click();
    QCOMPARE(dialogs.requests.size(), 1);
  }
  QVERIFY(readAll(book).startsWith("PK"));
  QVERIFY(named<QLabel>(window, "SavedLabel")->text().contains(book));

  const QString empty = fixture.filePath(QStringLiteral("Leer"));
  for (const char* part : {"cur", "new", "tmp"})
    std::filesystem::create_directories(std::filesystem::path(pathOf(empty)) / part);
  QVERIFY(readThrough(*window, "OpenFolderBtn", empty));
  QVERIFY(named<QLabel>(window, "SummaryLabel")->text().startsWith(QStringLiteral("Keine Mails")));
  for (const char* button : {"ExportCsvBtn", "ExportXlsxBtn", "ExportPdfBtn"})
    QVERIFY2(!named<QPushButton>(window, button)->isEnabled(), button);
}

}  // namespace vantrel::test
