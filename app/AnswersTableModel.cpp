#include "app/AnswersTableModel.h"

#include "answers/AnswerStatistics.h"

namespace vantrel {

const QString AnswersTableModel::kReceivedCaption = QStringLiteral("Empfangen (UTC)");

void AnswersTableModel::setColumns(const std::vector<std::string>& names,
                                   const std::vector<std::string>& captions) {
  beginResetModel();
  names_ = names;
  captions_.clear();
  for (const std::string& caption : captions) captions_.append(QString::fromStdString(caption));
  rows_.clear();
  endResetModel();
}

void AnswersTableModel::setAnswers(const std::vector<answers::Answer>& answers) {
  beginResetModel();
  rows_.clear();
  rows_.reserve(answers.size());
  for (const answers::Answer& answer : answers) {
    QStringList row;
    row.reserve(static_cast<qsizetype>(names_.size() + 1));
    row.append(QString::fromStdString(answer.receivedUtc));
    for (const std::string& cell : answers::AnswerTally::rowOf(answer, names_)) {
      row.append(QString::fromStdString(cell));
    }
    rows_.push_back(std::move(row));
  }
  endResetModel();
}

std::vector<std::string> AnswersTableModel::columnNames() const { return names_; }

QString AnswersTableModel::cell(int row, int column) const {
  return rows_.at(static_cast<std::size_t>(row)).at(column);
}

int AnswersTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int AnswersTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(names_.size()) + 1;
}

QVariant AnswersTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
  return cell(index.row(), index.column());
}

QVariant AnswersTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  if (section == 0) return kReceivedCaption;
  return captions_.value(section - 1);
}

}  // namespace vantrel
