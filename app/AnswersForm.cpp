#include "app/AnswersForm.h"

#include <QCloseEvent>
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
#include <QStringListModel>
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

QWidget* makeTextList(const answers::FieldStatistics& field, QWidget* parent) {
  auto* box = new QWidget(parent);
  auto* column = new QVBoxLayout(box);
  column->setContentsMargins(0, 0, 0, 0);
  auto* caption = new QLabel(QString::fromStdString(field.caption), box);
  QFont bold = caption->font();
  bold.setBold(true);
  caption->setFont(bold);
  QStringList texts;
  texts.reserve(static_cast<qsizetype>(field.texts.size()));
  for (const std::string& text : field.texts) texts.append(QString::fromStdString(text));
  auto* list = new QListView(box);
  list->setObjectName(objectNameFor("Texts_", field.name));
  list->setModel(new QStringListModel(texts, list));
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setUniformItemSizes(true);
  list->setFixedHeight(kTextListHeight);
  column->addWidget(caption);
  column->addWidget(list);
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
  resize(760, 560);
  buildLayout();
  job_ = std::make_unique<AnswerReadJob>(
      [this](std::vector<answers::Answer>&& batch) { takeBatch(std::move(batch)); },
      [this](const Result<answers::ReadSummary>& result) { readEnded(result); }, nullptr);
  connectHandler(OpenFileBtn, &QPushButton::clicked, this, &TAnswersForm::OpenFileBtnClick);
  connectHandler(OpenFolderBtn, &QPushButton::clicked, this, &TAnswersForm::OpenFolderBtnClick);
  connectHandler(ExportCsvBtn, &QPushButton::clicked, this, &TAnswersForm::ExportCsvBtnClick);
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
  ExportPdfBtn = makeButton(this, "ExportPdfBtn", QStringLiteral("Als &PDF speichern..."));
  OpenFileBtn->setToolTip(QStringLiteral("mbox-Datei oder CSV-Export öffnen..."));
  for (auto* button : {OpenFolderBtn, OpenFileBtn}) buttons->addWidget(button);
  buttons->addStretch();
  for (auto* button : {ExportCsvBtn, ExportPdfBtn}) {
    button->setEnabled(false);
    buttons->addWidget(button);
  }
  column->addLayout(buttons);

  SummaryLabel = new QLabel(QStringLiteral("Noch keine Antworten geöffnet."), this);
  SummaryLabel->setObjectName(QStringLiteral("SummaryLabel"));
  SummaryLabel->setWordWrap(true);
  SummaryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  SummaryLabel->setFocusPolicy(Qt::NoFocus);  // the mouse copies from it; Tab goes past it
  column->addWidget(SummaryLabel);

  AnswersTabs = new QTabWidget(this);
  AnswersTabs->setObjectName(QStringLiteral("AnswersTabs"));
  AnswersTable = new QTableView(AnswersTabs);
  AnswersTable->setObjectName(QStringLiteral("AnswersTable"));
  tableModel_ = new AnswersTableModel(this);
  sortedModel_ = new QSortFilterProxyModel(this);
  sortedModel_->setSourceModel(tableModel_);
  sortedModel_->setSortLocaleAware(true);
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

void TAnswersForm::readSource(const std::filesystem::path& source) {
  if (reading()) return;
  answers_.clear();
  tally_ = answers::AnswerTally();
  // The dialogs go on beside the source, and the exports take its name.
  const QFileInfo sourceInfo(QFile::decodeName(source.c_str()));
  lastFolder_ = sourceInfo.absolutePath();
  sourceName_ = sourceInfo.completeBaseName();
  ReadProgress->reset();
  ReadProgress->setLabelText(QStringLiteral("Antworten werden gelesen..."));
  ReadProgress->setValue(0);
  ReadProgress->show();
  progressTimer_->start();
  job_->start(source);
}

void TAnswersForm::CancelRead() {
  job_->cancel();
  ReadProgress->setLabelText(QStringLiteral("Lesen wird abgebrochen..."));
}

void TAnswersForm::takeBatch(std::vector<answers::Answer>&& batch) {
  for (answers::Answer& answer : batch) {
    tally_.add(answer);
    answers_.push_back(std::move(answer));
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
        QStringLiteral("Antworten werden gelesen... %1").arg(answers_.size()));
  }
}

void TAnswersForm::readEnded(const Result<answers::ReadSummary>& result) {
  progressTimer_->stop();
  ReadProgress->hide();
  ReadProgress->reset();
  if (!result.ok()) {
    answers_.clear();
    showFailure(QString::fromStdString(germanMessage(result.failure())), FailureReporter::Command);
    return;
  }
  summary_ = result.value();
  showReport();
}

void TAnswersForm::showReport() {
  const FieldList fields = currentFields_ ? currentFields_() : FieldList();
  const answers::FormDescription form = answers::describeForm(fields);
  report_ = tally_.report(fields.empty() ? nullptr : &form);
  tableModel_->setColumns(report_.columns, report_.columnCaptions);
  tableModel_->setAnswers(answers_);
  answers_.clear();
  answers_.shrink_to_fit();
  AnswersTable->resizeColumnsToContents();
  SummaryLabel->setText(summaryLines(report_, summary_).join(QLatin1Char('\n')));
  rebuildCharts();
  ExportCsvBtn->setEnabled(true);
  ExportPdfBtn->setEnabled(true);
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
    QWidget* shown = field.kind == answers::FieldKind::Text ? makeTextList(field, ChartsPage)
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

void TAnswersForm::ExportCsvBtnClick() {
  const auto chosen =
      chooseExportFile(QStringLiteral("Tabelle als CSV speichern"),
                       QStringLiteral("CSV-Dateien (*.csv)"), QStringLiteral("csv"));
  if (!chosen) return;
  const auto fill = [&](std::size_t row, std::string& receivedUtc, std::vector<std::string>& cells) {
    const int source =
        sortedModel_->mapToSource(sortedModel_->index(static_cast<int>(row), 0)).row();
    receivedUtc = tableModel_->cell(source, 0).toStdString();
    cells.clear();
    for (int column = 1; column < tableModel_->columnCount(); ++column) {
      cells.push_back(tableModel_->cell(source, column).toStdString());
    }
  };
  const Status written = answers::writeAnswerTableCsv(
      pathOf(*chosen), tableModel_->columnNames(),
      static_cast<std::size_t>(sortedModel_->rowCount()), fill);
  if (!written) {
    showFailure(QString::fromStdString(germanMessage(written.failure())), FailureReporter::Command);
  }
}

void TAnswersForm::ExportPdfBtnClick() {
  const auto chosen =
      chooseExportFile(QStringLiteral("Bericht als PDF speichern"),
                       QStringLiteral("PDF-Dateien (*.pdf)"), QStringLiteral("pdf"));
  if (!chosen) return;
  if (!writeReportPdf(*chosen, report_, summary_)) {
    showFailure(QStringLiteral("Die Datei %1 kann nicht geschrieben werden.").arg(*chosen),
                FailureReporter::Command);
  }
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

}  // namespace vantrel
