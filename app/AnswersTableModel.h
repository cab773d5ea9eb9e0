#pragma once
// The answers as the table of "Auswertung" shows them: the time of receipt, then one column per
// field in the form's order. Cells are kept as the view shows them, so sorting 100,000 rows
// converts nothing.

#include <QAbstractTableModel>
#include <QStringList>
#include <string>
#include <vector>

#include "answers/Answer.h"

namespace vantrel {

class AnswersTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  using QAbstractTableModel::QAbstractTableModel;

  // `names` are the fields' internal names in column order, `captions` what the header shows.
  void setColumns(const std::vector<std::string>& names, const std::vector<std::string>& captions);
  void setAnswers(const std::vector<answers::Answer>& answers);

  // The fields' internal names in the order of the columns after the time of receipt.
  [[nodiscard]] std::vector<std::string> columnNames() const;
  [[nodiscard]] QString cell(int row, int column) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The header of the first column.
  static const QString kReceivedCaption;

 private:
  std::vector<std::string> names_;
  QStringList captions_;
  std::vector<QStringList> rows_;
};

}  // namespace vantrel
