#pragma once
// TAnswersForm, "Auswertung": the answers of a survey read back from a Maildir folder, an mbox
// file or an exported CSV file, shown as a sortable table and as a chart of every choice (a list
// for every text), with the number of answers, their time span and what the read skipped. The
// answers of one survey are shown at a time; the surveys found are listed with their counts.
// The table goes out as CSV or as an Excel workbook, the whole report as PDF. When the main window
// holds a field list, its captions name the columns and charts and its option values come in its
// order.

#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "answers/AnswerReader.h"
#include "answers/AnswerStatistics.h"
#include "answers/AnswerTableCsv.h"
#include "answers/mailbox/MailboxReader.h"
#include "app/AnswersWindow.h"
#include "app/MailboxAccess.h"
#include "project/FieldList.h"

class QComboBox;
class QLabel;
class QProgressDialog;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class QTabWidget;
class QTimer;
class QVBoxLayout;

namespace vantrel {

class AnswerReadJob;
class AnswersTableModel;

class TAnswersForm : public QWidget {
  Q_OBJECT

 public:
  // `currentFields` gives the field list as the main window holds it at the moment of asking.
  explicit TAnswersForm(std::function<FieldList()> currentFields, QWidget* parent = nullptr);
  ~TAnswersForm() override;

  // Starts reading `source` (a Maildir or .eml folder, an mbox or CSV file) as the two open
  // buttons do after their dialog.
  void readSource(const std::filesystem::path& source);
  // Starts reading a folder of a mailbox on a server, as "Postfach öffnen..." does after its
  // dialog; the mailbox (not its password) is offered again next time.
  void clearAnswers();
  void showReadStarted();
  void readMailbox(const MailboxChoice& choice);
  // Where the last mailbox is kept; none when empty.
  void setIniFile(const QString& iniFile) { iniFile_ = iniFile; }
  [[nodiscard]] bool reading() const;

  const answers::AnswerReport& report() const { return report_; }
  const answers::ReadSummary& readSummary() const { return summary_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private slots:
  void OpenFileBtnClick();
  void OpenFolderBtnClick();
  void OpenMailboxBtnClick();
  void ExportCsvBtnClick();
  void ExportXlsxBtnClick();
  void ExportPdfBtnClick();
  void SurveyBoxChange(int index);
  void CancelRead();

 private:
  void buildLayout();
  void takeBatch(std::vector<answers::Answer>&& batch);
  void readEnded(const Result<answers::ReadSummary>& result);
  void showProgress();
  void showReport();
  void showSurvey(std::size_t survey);
  void fillSurveyBox();
  void limitColumnWidths();
  void confirmSaved(const QString& file, const QString& hint = QString());
  [[nodiscard]] answers::TableRowFiller shownRows() const;
  void rebuildCharts();
  void clearCharts();
  [[nodiscard]] QString exportName(const QString& suffix) const;
  // Asks where an export goes, suggesting the source's name with the suffix in the last folder.
  [[nodiscard]] std::optional<QString> chooseExportFile(const QString& title, const QString& filter,
                                                        const QString& suffix);

  std::function<FieldList()> currentFields_;
  std::unique_ptr<AnswerReadJob> job_;
  // One tally per survey, in the order of the table model's surveys.
  std::vector<answers::AnswerTally> tallies_;
  answers::AnswerReport report_;
  answers::ReadSummary summary_;
  QString sourceName_;
  QString lastFolder_;
  QString iniFile_;
  // The mailbox of the read under way or last done, and what its read found beyond the answers.
  std::optional<MailboxChoice> mailbox_;
  std::shared_ptr<answers::MailboxSummary> mailboxSummary_;

  QPushButton* OpenFileBtn = nullptr;
  QPushButton* OpenFolderBtn = nullptr;
  QPushButton* OpenMailboxBtn = nullptr;
  QPushButton* ExportCsvBtn = nullptr;
  QPushButton* ExportXlsxBtn = nullptr;
  QComboBox* SurveyBox = nullptr;
  QLabel* SavedLabel = nullptr;
  QPushButton* ExportPdfBtn = nullptr;
  QLabel* SummaryLabel = nullptr;
  QTabWidget* AnswersTabs = nullptr;
  QTableView* AnswersTable = nullptr;
  AnswersTableModel* tableModel_ = nullptr;
  QSortFilterProxyModel* sortedModel_ = nullptr;
  QWidget* ChartsPage = nullptr;
  QVBoxLayout* chartsColumn_ = nullptr;
  QProgressDialog* ReadProgress = nullptr;
  QTimer* progressTimer_ = nullptr;
};

// The window as the main window asks for it (a MakeAnswersWindow), for the plugin and for
// programs that link the window.
QWidget* makeLinkedAnswersWindow(const AnswersWindowSetup& setup);

}  // namespace vantrel
