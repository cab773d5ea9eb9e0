#pragma once
// The answers as the table of "Auswertung" shows them: the time of receipt in local time, then
// one column per field in the form's order. The answers are kept once, packed as they came
// (UTF-8 bytes in large blocks, a few bytes of bookkeeping per field), and turned into text for
// the view only for the cells it asks for: a hundred thousand answers cost little more than
// their own bytes. The table shows the answers of one survey at a time.

#include <QAbstractListModel>
#include <QAbstractTableModel>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "answers/Answer.h"

namespace vantrel {

class AnswersTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  using QAbstractTableModel::QAbstractTableModel;

  // Forgets every answer (before a new read).
  void clear();
  // Keeps one answer and gives the index of its survey; the rows shown change only with
  // showSurvey().
  std::size_t add(const answers::Answer& answer);
  [[nodiscard]] std::size_t keptCount() const { return rowAt_.size(); }

  // The surveys of the answers kept, in first-seen order ("" for answers without a key), and
  // how many answers each has.
  [[nodiscard]] const std::vector<std::string>& surveys() const { return surveys_; }
  [[nodiscard]] const std::vector<std::uint64_t>& surveyCounts() const { return surveyCounts_; }
  // The survey of the answer kept `index`-th.
  [[nodiscard]] std::size_t surveyOf(std::size_t index) const;

  // Shows the answers of one survey (an index into surveys()) in these columns: `names` are the
  // fields' internal names in column order, `captions` what the header shows.
  void showSurvey(std::size_t survey, const std::vector<std::string>& names,
                  const std::vector<std::string>& captions);

  // The fields' internal names in the order of the columns after the time of receipt.
  [[nodiscard]] const std::vector<std::string>& columnNames() const { return columns_; }
  // The time of receipt as it came (UTF-8, UTC) for column 0, else the cell's text (UTF-8).
  [[nodiscard]] std::string cellText(int row, int column) const;
  [[nodiscard]] QString cell(int row, int column) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  // Qt::UserRole gives what the table sorts by: the time as it came, the text otherwise.
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The header of the first column.
  static const QString kReceivedCaption;

 private:
  static constexpr std::uint32_t kNoColumn = UINT32_MAX;
  [[nodiscard]] std::string_view bytesAt(std::uint64_t at, std::uint32_t size) const;
  [[nodiscard]] std::uint32_t numberAt(std::uint64_t at) const;
  void append(std::string_view bytes);
  void appendNumber(std::uint32_t value);
  [[nodiscard]] std::uint32_t nameIdOf(const std::string& name);

  // Every answer kept, packed one after the other: survey, time, field count, then per field its
  // name id and value; a row never spans two blocks.
  std::vector<std::string> blocks_;
  std::vector<std::uint64_t> rowAt_;  // block index << 32 | offset
  std::vector<std::string> surveys_;
  std::vector<std::uint64_t> surveyCounts_;
  std::unordered_map<std::string, std::uint32_t> surveyIds_;
  std::vector<std::string> names_;  // field names by id
  std::unordered_map<std::string, std::uint32_t> nameIds_;

  std::vector<std::string> columns_;
  QStringList captions_;
  std::vector<std::uint32_t> columnOfName_;  // per name id
  std::vector<std::uint32_t> shown_;         // indexes of the kept answers shown, in order
};

// The non-empty texts of one column of the table, in the order of its rows: the list of a text
// field in "Auswertung", without a copy of the texts.
class ColumnTextsModel : public QAbstractListModel {
  Q_OBJECT

 public:
  ColumnTextsModel(const AnswersTableModel& table, int column, QObject* parent);
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  const AnswersTableModel& table_;
  int column_;
  std::vector<std::uint32_t> rows_;
};

}  // namespace vantrel
