#include "app/AnswersForm.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QSortFilterProxyModel>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QtCharts/QChartView>

#include "answers/AnswerTableCsv.h"
#include "app/AnswerReadJob.h"
#include "app/AnswersReport.h"
#include "app/AnswersTableModel.h"
#include "app/LocalPath.h"
#include "app/MailboxDialog.h"
#include "base/UserMessages.h"
#include "gui/FailureReport.h"
#include "gui/FileDialogs.h"

namespace vantrel {
namespace {

constexpr int kProgressSteps = 1000;
constexpr int kProgressMilliseconds = 100;
constexpr int kTextListHeight = 140;

QPushButton* makeButton(QWidget* parent, const char* objectName, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(objectName));
  button->setAutoDefault(false);
  return button;
}

QString objectNameFor(const char* kind, const std::string& field) {
  return QString::fromLatin1(kind) + QString::fromStdString(field);
}

QWidget* makeTextList(const answers::FieldStatistics& field, const AnswersTableModel& table,
                      int column, QWidget* parent) {
  auto* box = new QWidget(parent);
  auto* rows = new QVBoxLayout(box);
  rows->setContentsMargins(0, 0, 0, 0);
  auto* caption = new QLabel(QString::fromStdString(field.caption), box);
  caption->setTextFormat(Qt::PlainText);
  QFont bold = caption->font();
  bold.setBold(true);
  caption->setFont(bold);
  auto* list = new QListView(box);
  list->setObjectName(objectNameFor("Texts_", field.name));
  list->setModel(new ColumnTextsModel(table, column, list));
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setUniformItemSizes(true);
  list->setFixedHeight(kTextListHeight);
  rows->addWidget(caption);
  rows->addWidget(list);
  return box;
}

QWidget* makeChartView(const answers::FieldStatistics& field, QWidget* parent) {
  auto* view = new QChartView(makeChoiceChart(field), parent);
  view->setObjectName(objectNameFor("Chart_", field.name));
  view->setRenderHint(QPainter::Antialiasing);
  view->setFixedHeight(chartHeightFor(field.counts.size()));
  return view;
}

}  // namespace

TAnswersForm::TAnswersForm(std::function<FieldList()> currentFields, QWidget* parent)
    : QWidget(parent, Qt::Window), currentFields_(std::move(currentFields)) {
  setObjectName(QStringLiteral("AnswersForm"));
  setWindowTitle(QStringLiteral("Auswertung"));
  buildLayout();
  // Its row of commands may need more than the usual width: the size is known before it is
  // placed over the main window, so it opens centred there.
  resize(QSize(760, 560).expandedTo(minimumSizeHint()));
  job_ = std::make_unique<AnswerReadJob>(
      [this](std::vector<answers::Answer>&& batch) { takeBatch(std::move(batch)); },
      [this](const Result<answers::ReadSummary>& result) { readEnded(result); }, nullptr);
  connectHandler(OpenFileBtn, &QPushButton::clicked, this, &TAnswersForm::OpenFileBtnClick);
  connectHandler(OpenFolderBtn, &QPushButton::clicked, this, &TAnswersForm::OpenFolderBtnClick);
  connectHandler(OpenMailboxBtn, &QPushButton::clicked, this, &TAnswersForm::OpenMailboxBtnClick);
  connectHandler(ExportCsvBtn, &QPushButton::clicked, this, &TAnswersForm::ExportCsvBtnClick);
  connectHandler(ExportXlsxBtn, &QPushButton::clicked, this, &TAnswersForm::ExportXlsxBtnClick);
  connectHandler(SurveyBox, &QComboBox::activated, this, &TAnswersForm::SurveyBoxChange);
  connectHandler(ExportPdfBtn, &QPushButton::clicked, this, &TAnswersForm::ExportPdfBtnClick);
  connectHandler(ReadProgress, &QProgressDialog::canceled, this, &TAnswersForm::CancelRead);
  connect(progressTimer_, &QTimer::timeout, this, [this] { showProgress(); });
}

TAnswersForm::~TAnswersForm() = default;

void TAnswersForm::buildLayout() {
  auto* column = new QVBoxLayout(this);
  auto* buttons = new QHBoxLayout();
  OpenFolderBtn = makeButton(this, "OpenFolderBtn", QStringLiteral("&Maildir-Ordner öffnen..."));
  OpenFileBtn = makeButton(this, "OpenFileBtn", QStringLiteral("&Datei öffnen..."));
  ExportCsvBtn = makeButton(this, "ExportCsvBtn", QStringLiteral("Als &CSV speichern..."));
  ExportXlsxBtn =
      makeButton(this, "ExportXlsxBtn", QStringLiteral("Als &Excel-Datei speichern..."));
  ExportPdfBtn = makeButton(this, "ExportPdfBtn", QStringLiteral("Als &PDF speichern..."));
  OpenMailboxBtn = makeButton(this, "OpenMailboxBtn", QStringLiteral("P&ostfach öffnen..."));
  OpenFileBtn->setToolTip(QStringLiteral("mbox-Datei oder CSV-Export öffnen..."));
  OpenMailboxBtn->setToolTip(
      QStringLiteral("Einen Ordner des Postfachs auf dem Mail-Server lesen..."));
  for (auto* button : {OpenFolderBtn, OpenFileBtn, OpenMailboxBtn}) buttons->addWidget(button);
  buttons->addStretch();
  for (auto* button : {ExportCsvBtn, ExportXlsxBtn, ExportPdfBtn}) {
    button->setEnabled(false);
    buttons->addWidget(button);
  }
  column->addLayout(buttons);

  auto* surveyRow = new QHBoxLayout();
  auto* surveyCaption = new QLabel(QStringLiteral("&Umfrage:"), this);
  SurveyBox = new QComboBox(this);
  SurveyBox->setObjectName(QStringLiteral("SurveyBox"));
  SurveyBox->setEnabled(false);
  SurveyBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  surveyCaption->setBuddy(SurveyBox);
  surveyRow->addWidget(surveyCaption);
  surveyRow->addWidget(SurveyBox);
  surveyRow->addStretch();
  column->addLayout(surveyRow);

  SummaryLabel = new QLabel(QStringLiteral("Noch keine Antworten geöffnet."), this);
  SummaryLabel->setObjectName(QStringLiteral("SummaryLabel"));
  SummaryLabel->setTextFormat(Qt::PlainText);  // file names and answers are never markup
  SummaryLabel->setWordWrap(true);
  SummaryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  SummaryLabel->setFocusPolicy(Qt::NoFocus);  // the mouse copies from it; Tab goes past it
  column->addWidget(SummaryLabel);
  SavedLabel = new QLabel(this);
  SavedLabel->setObjectName(QStringLiteral("SavedLabel"));
  SavedLabel->setTextFormat(Qt::PlainText);
  SavedLabel->setWordWrap(true);
  SavedLabel->hide();
  column->addWidget(SavedLabel);

  AnswersTabs = new QTabWidget(this);
  AnswersTabs->setObjectName(QStringLiteral("AnswersTabs"));
  AnswersTable = new QTableView(AnswersTabs);
  AnswersTable->setObjectName(QStringLiteral("AnswersTable"));
  tableModel_ = new AnswersTableModel(this);
  sortedModel_ = new QSortFilterProxyModel(this);
  sortedModel_->setSourceModel(tableModel_);
  sortedModel_->setSortLocaleAware(true);
  sortedModel_->setSortRole(Qt::UserRole);  // times by what they are, not as they read
  AnswersTable->setModel(sortedModel_);
  AnswersTable->setSortingEnabled(true);
  AnswersTable->sortByColumn(-1, Qt::AscendingOrder);  // the order the answers came in
  AnswersTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  AnswersTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  AnswersTable->verticalHeader()->setDefaultSectionSize(AnswersTable->fontMetrics().height() + 6);
  AnswersTable->horizontalHeader()->setSectionsMovable(false);
  // Before the first read the table shows only its header, which is not cut either.
  AnswersTable->resizeColumnsToContents();
  AnswersTabs->addTab(AnswersTable, QStringLiteral("&Tabelle"));

  auto* scroll = new QScrollArea(AnswersTabs);
  scroll->setObjectName(QStringLiteral("ChartsArea"));
  scroll->setWidgetResizable(true);
  ChartsPage = new QWidget(scroll);
  ChartsPage->setObjectName(QStringLiteral("ChartsPage"));
  chartsColumn_ = new QVBoxLayout(ChartsPage);
  chartsColumn_->addStretch();
  scroll->setWidget(ChartsPage);
  AnswersTabs->addTab(scroll, QStringLiteral("D&iagramme"));
  column->addWidget(AnswersTabs, 1);

  ReadProgress = new QProgressDialog(this);
  ReadProgress->setObjectName(QStringLiteral("ReadProgress"));
  ReadProgress->setWindowTitle(QStringLiteral("Auswertung"));
  ReadProgress->setCancelButtonText(QStringLiteral("Abbrechen"));
  ReadProgress->setRange(0, kProgressSteps);
  ReadProgress->setWindowModality(Qt::WindowModal);
  ReadProgress->setMinimumDuration(0);
  ReadProgress->setAutoClose(false);
  ReadProgress->setAutoReset(false);
  ReadProgress->reset();
  ReadProgress->hide();
  progressTimer_ = new QTimer(this);
  progressTimer_->setInterval(kProgressMilliseconds);
}

bool TAnswersForm::reading() const { return job_->running(); }

void TAnswersForm::OpenFileBtnClick() {
  FileDialogRequest request;
  request.kind = FileDialogRequest::Kind::Open;
  request.parent = this;
  request.title = QStringLiteral("Antworten öffnen");
  request.folder = lastFolder_;
  request.filter = QStringLiteral(
      "Postfächer und Exporte (*.mbox *.mbx *.csv);;mbox-Dateien (*.mbox *.mbx);;"
      "CSV-Dateien (*.csv);;Alle Dateien (*)");
  const auto chosen = chooseFile(request);
  if (!chosen) return;
  readSource(pathOf(*chosen));
}

void TAnswersForm::OpenFolderBtnClick() {
  FileDialogRequest request;
  request.kind = FileDialogRequest::Kind::Folder;
  request.parent = this;
  request.title = QStringLiteral("Maildir-Ordner öffnen");
  request.folder = lastFolder_;
  const auto chosen = chooseFile(request);
  if (!chosen) return;
  readSource(pathOf(*chosen));
}

void TAnswersForm::OpenMailboxBtnClick() {
  MailboxChoice initial = readLastMailbox(iniFile_).value_or(MailboxChoice{});
  if (!initial.address.host.empty()) {
    const std::optional<std::string> remembered = passwordFromKeyring(initial.address);
    initial.rememberPassword = remembered.has_value();
    initial.password = remembered.value_or(std::string());
  }
  MailboxDialog dialog(initial, this);
  if (dialog.exec() != QDialog::Accepted) return;
  const MailboxChoice chosen = dialog.choice();
  if (chosen.rememberPassword) {
    const QString refused = storePasswordInKeyring(chosen.address, chosen.password);
    if (!refused.isEmpty()) {
      showFailure(QStringLiteral("Das Passwort kann nicht im Schlüsselbund gespeichert werden: %1")
                      .arg(refused),
                  FailureReporter::Command);
    }
  } else if (initial.rememberPassword) {
    forgetPasswordInKeyring(chosen.address);
  }
  readMailbox(chosen);
}

// What an earlier read showed goes before the next read begins.
void TAnswersForm::clearAnswers() {
  tableModel_->clear();
  tallies_.clear();
  SurveyBox->clear();
  SurveyBox->setEnabled(false);
  SavedLabel->hide();
  for (auto* button : {ExportCsvBtn, ExportXlsxBtn, ExportPdfBtn}) button->setEnabled(false);
}

void TAnswersForm::showReadStarted() {
  ReadProgress->reset();
  ReadProgress->setLabelText(QStringLiteral("Antworten werden gelesen..."));
  ReadProgress->setValue(0);
  ReadProgress->show();
  progressTimer_->start();
}

void TAnswersForm::readMailbox(const MailboxChoice& choice) {
  if (reading()) return;
  clearAnswers();
  sourceName_ =
      QString::fromStdString(choice.address.folder).replace(QLatin1Char('/'), QLatin1Char('_'));
  mailbox_ = choice;
  mailboxSummary_ = std::make_shared<answers::MailboxSummary>();
  writeLastMailbox(iniFile_, choice);
  showReadStarted();
  // The summary of the mailbox goes to the window beside the answers: which are gone from the
  // server. The read owns a share of it, so the window may start another read meanwhile.
  job_->start([choice, kept = mailboxSummary_](
                  const answers::ReadCallbacks& callbacks) -> Result<answers::ReadSummary> {
    answers::MailboxReadOptions options;
    options.connect.caFile = choice.caFile;
    Result<answers::MailboxSummary> read =
        answers::readMailbox(choice.address, choice.password, options, callbacks);
    if (!read) return read.failure();
    *kept = read.value();
    return std::move(read.value().read);
  });
}

void TAnswersForm::readSource(const std::filesystem::path& source) {
  if (reading()) return;
  mailbox_.reset();
  clearAnswers();
  // The dialogs go on beside the source, and the exports take its name.
  const QFileInfo sourceInfo(QFile::decodeName(source.c_str()));
  lastFolder_ = sourceInfo.absolutePath();
  sourceName_ = sourceInfo.completeBaseName();
  showReadStarted();
  job_->start(source);
}

void TAnswersForm::CancelRead() {
  job_->cancel();
  ReadProgress->setLabelText(QStringLiteral("Lesen wird abgebrochen..."));
}

void TAnswersForm::takeBatch(std::vector<answers::Answer>&& batch) {
  for (const answers::Answer& answer : batch) {
    const std::size_t survey = tableModel_->add(answer);
    // The table keeps the texts; the tallies only count.
    if (survey == tallies_.size()) tallies_.emplace_back(false);
    tallies_[survey].add(answer);
  }
}

void TAnswersForm::showProgress() {
  const std::uint64_t total = job_->bytesTotal();
  const std::uint64_t done = std::min(job_->bytesDone(), total);
  if (total > 0) {
    ReadProgress->setValue(static_cast<int>(done * kProgressSteps / total));
  }
  if (!ReadProgress->wasCanceled()) {
    ReadProgress->setLabelText(
        QStringLiteral("Antworten werden gelesen... %1").arg(tableModel_->keptCount()));
  }
}

void TAnswersForm::readEnded(const Result<answers::ReadSummary>& result) {
  progressTimer_->stop();
  ReadProgress->hide();
  ReadProgress->reset();
  if (!result.ok()) {
    tableModel_->clear();
    tallies_.clear();
    showFailure(mailbox_ ? mailboxFailureText(result.failure(), *mailbox_)
                         : QString::fromStdString(germanMessage(result.failure())),
                FailureReporter::Command);
    return;
  }
  summary_ = result.value();
  showReport();
  if (mailbox_ && !mailboxSummary_->goneMessageIds.empty()) {
    SummaryLabel->setText(
        SummaryLabel->text() +
        QStringLiteral("\n%1 Antwort(en) nur noch im Zwischenspeicher: ihre Mails sind vom "
                       "Server gelöscht.")
            .arg(mailboxSummary_->goneMessageIds.size()));
  }
}

void TAnswersForm::showReport() {
  fillSurveyBox();
  showSurvey(static_cast<std::size_t>(std::max(0, SurveyBox->currentIndex())));
}

// The surveys found, each with its count; the one with the most answers is shown first.
void TAnswersForm::fillSurveyBox() {
  SurveyBox->clear();
  const std::vector<std::string>& surveys = tableModel_->surveys();
  const std::vector<std::uint64_t>& counts = tableModel_->surveyCounts();
  for (std::size_t i = 0; i < surveys.size(); ++i) {
    const QString name = surveys[i].empty()
                             ? QStringLiteral("ohne Umfrage-Kennung")
                             : QStringLiteral("„%1“").arg(QString::fromStdString(surveys[i]));
    SurveyBox->addItem(QStringLiteral("%1 (%2)").arg(name).arg(counts[i]));
  }
  const auto most = std::max_element(counts.begin(), counts.end());
  SurveyBox->setCurrentIndex(most == counts.end() ? -1 : static_cast<int>(most - counts.begin()));
  SurveyBox->setEnabled(surveys.size() > 1);
}

void TAnswersForm::SurveyBoxChange(int index) {
  if (index >= 0) showSurvey(static_cast<std::size_t>(index));
}

void TAnswersForm::showSurvey(std::size_t survey) {
  const FieldList fields = currentFields_ ? currentFields_() : FieldList();
  const answers::FormDescription form = answers::describeForm(fields);
  const answers::AnswerTally none(false);
  const answers::AnswerTally& tally = survey < tallies_.size() ? tallies_[survey] : none;
  report_ = tally.report(fields.empty() ? nullptr : &form);
  clearCharts();  // their lists read the table's rows
  tableModel_->showSurvey(survey, report_.columns, report_.columnCaptions);
  AnswersTable->resizeColumnsToContents();
  limitColumnWidths();
  SummaryLabel->setText(summaryLines(report_, summary_).join(QLatin1Char('\n')));
  rebuildCharts();
  // Nothing to save from a source without answers.
  for (auto* button : {ExportCsvBtn, ExportXlsxBtn, ExportPdfBtn})
    button->setEnabled(report_.answers > 0);
}

// One long answer must not push every other column out of sight.
void TAnswersForm::limitColumnWidths() {
  QHeaderView* header = AnswersTable->horizontalHeader();
  const int widest = std::max(80, width() / 2);
  for (int column = 0; column < header->count(); ++column) {
    if (header->sectionSize(column) > widest) header->resizeSection(column, widest);
  }
}

void TAnswersForm::clearCharts() {
  while (chartsColumn_->count() > 1) {
    QLayoutItem* item = chartsColumn_->takeAt(0);
    delete item->widget();
    delete item;
  }
}

void TAnswersForm::rebuildCharts() {
  clearCharts();
  int position = 0;
  for (const answers::FieldStatistics& field : report_.fields) {
    // The table's column of a field is its place in the report, after the time of receipt.
    QWidget* shown = field.kind == answers::FieldKind::Text
                         ? makeTextList(field, *tableModel_, position + 1, ChartsPage)
                         : makeChartView(field, ChartsPage);
    chartsColumn_->insertWidget(position++, shown);
  }
}

QString TAnswersForm::exportName(const QString& suffix) const {
  const QString base = sourceName_.isEmpty() ? QStringLiteral("auswertung") : sourceName_;
  return QDir(lastFolder_).filePath(base + QLatin1Char('.') + suffix);
}

std::optional<QString> TAnswersForm::chooseExportFile(const QString& title, const QString& filter,
                                                      const QString& suffix) {
  FileDialogRequest request;
  request.kind = FileDialogRequest::Kind::Save;
  request.parent = this;
  request.title = title;
  request.fileName = exportName(suffix);
  request.filter = filter;
  request.defaultSuffix = suffix;
  return chooseFile(request);
}

// The rows in the order the table shows them.
answers::TableRowFiller TAnswersForm::shownRows() const {
  return [this](std::size_t row, std::string& receivedUtc, std::vector<std::string>& cells) {
    const int source =
        sortedModel_->mapToSource(sortedModel_->index(static_cast<int>(row), 0)).row();
    receivedUtc = tableModel_->cellText(source, 0);
    cells.clear();
    for (int column = 1; column < tableModel_->columnCount(); ++column) {
      cells.push_back(tableModel_->cellText(source, column));
    }
  };
}

void TAnswersForm::confirmSaved(const QString& file, const QString& hint) {
  QString text = QStringLiteral("Gespeichert: %1").arg(QDir::toNativeSeparators(file));
  if (!hint.isEmpty()) text += QLatin1Char('\n') + hint;
  SavedLabel->setText(text);
  SavedLabel->show();
}

void TAnswersForm::ExportCsvBtnClick() {
  const auto chosen =
      chooseExportFile(QStringLiteral("Tabelle als CSV speichern"),
                       QStringLiteral("CSV-Dateien (*.csv)"), QStringLiteral("csv"));
  if (!chosen) return;
  const Status written =
      answers::writeAnswerTableCsv(pathOf(*chosen), tableModel_->columnNames(),
                                   static_cast<std::size_t>(sortedModel_->rowCount()), shownRows());
  if (!written) {
    showFailure(QString::fromStdString(germanMessage(written.failure())), FailureReporter::Command);
    return;
  }
  confirmSaved(*chosen,
               QStringLiteral("Die CSV-Datei ist für Programme gedacht; eine "
                              "Tabellenkalkulation öffnet besser die Excel-Datei (.xlsx)."));
}

void TAnswersForm::ExportXlsxBtnClick() {
  const auto chosen =
      chooseExportFile(QStringLiteral("Tabelle als Excel-Datei speichern"),
                       QStringLiteral("Excel-Dateien (*.xlsx)"), QStringLiteral("xlsx"));
  if (!chosen) return;
  const Status written = answers::writeAnswerTableWorkbook(
      pathOf(*chosen), tableModel_->columnNames(),
      static_cast<std::size_t>(sortedModel_->rowCount()), shownRows());
  if (!written) {
    showFailure(QString::fromStdString(germanMessage(written.failure())), FailureReporter::Command);
    return;
  }
  confirmSaved(*chosen);
}

void TAnswersForm::ExportPdfBtnClick() {
  const auto chosen =
      chooseExportFile(QStringLiteral("Bericht als PDF speichern"),
                       QStringLiteral("PDF-Dateien (*.pdf)"), QStringLiteral("pdf"));
  if (!chosen) return;
  // A text field's answers come from the table, which holds them; the tally only counts.
  const auto textsOf = [this](const std::string& name) {
    std::vector<std::string> texts;
    const auto& names = tableModel_->columnNames();
    const auto found = std::find(names.begin(), names.end(), name);
    if (found == names.end()) return texts;
    const int column = static_cast<int>(found - names.begin()) + 1;
    for (int row = 0; row < tableModel_->rowCount(); ++row) {
      std::string text = tableModel_->cellText(row, column);
      if (!text.empty()) texts.push_back(std::move(text));
    }
    return texts;
  };
  if (!writeReportPdf(*chosen, report_, summary_, textsOf)) {
    showFailure(QStringLiteral("Die Datei %1 kann nicht geschrieben werden.").arg(*chosen),
                FailureReporter::Command);
    return;
  }
  confirmSaved(*chosen);
}

// Escape closes the window as it closes a dialog; a read in progress has its own Escape.
void TAnswersForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    event->accept();
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TAnswersForm::closeEvent(QCloseEvent* event) {
  // A read goes on only while someone waits for it.
  job_->cancel();
  QWidget::closeEvent(event);
}

QWidget* makeLinkedAnswersWindow(const AnswersWindowSetup& setup) {
  auto* window = new TAnswersForm(setup.currentFields, setup.owner);
  window->setIniFile(setup.iniFile);
  return window;
}

}  // namespace vantrel
