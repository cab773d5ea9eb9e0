#include "app/AnswersTableModel.h"

#include <QTextDocument>
#include <algorithm>
#include <cstring>

#include "answers/AnswerExport.h"
#include "answers/AnswerReader.h"
#include "app/AnswersReport.h"

namespace vantrel {
namespace {

// Answers are packed into blocks of this size: few allocations, and no block is ever copied
// to grow.
constexpr std::size_t kBlockBytes = std::size_t{4} << 20;

}  // namespace

const QString AnswersTableModel::kReceivedCaption = QStringLiteral("Empfangen");

void AnswersTableModel::clear() {
  beginResetModel();
  blocks_.clear();
  rowAt_.clear();
  surveys_.clear();
  surveyCounts_.clear();
  surveyIds_.clear();
  names_.clear();
  nameIds_.clear();
  columns_.clear();
  captions_.clear();
  columnOfName_.clear();
  shown_.clear();
  endResetModel();
}

std::uint32_t AnswersTableModel::nameIdOf(const std::string& name) {
  const auto found = nameIds_.find(name);
  if (found != nameIds_.end()) return found->second;
  // Names beyond those a column could ever be chosen from are not kept.
  if (names_.size() >= answers::kMostNamesKept) return kNoColumn;
  const auto id = static_cast<std::uint32_t>(names_.size());
  nameIds_.emplace(name, id);
  names_.push_back(name);
  return id;
}

void AnswersTableModel::append(std::string_view bytes) { blocks_.back().append(bytes); }

void AnswersTableModel::appendNumber(std::uint32_t value) {
  char bytes[sizeof value];
  std::memcpy(bytes, &value, sizeof value);
  append(std::string_view(bytes, sizeof value));
}

std::size_t AnswersTableModel::add(const answers::Answer& answer) {
  auto [survey, added] =
      surveyIds_.emplace(answer.survey, static_cast<std::uint32_t>(surveys_.size()));
  if (added) {
    surveys_.push_back(answer.survey);
    surveyCounts_.push_back(0);
  }
  ++surveyCounts_[survey->second];
  std::vector<std::pair<std::uint32_t, const std::string*>> kept;
  kept.reserve(answer.fields.size());
  std::size_t size = 3 * sizeof(std::uint32_t) + answer.receivedUtc.size();
  for (const auto& [name, value] : answer.fields) {
    const std::uint32_t id = nameIdOf(name);
    if (id == kNoColumn) continue;
    kept.emplace_back(id, &value);
    size += 2 * sizeof(std::uint32_t) + value.size();
  }
  if (blocks_.empty() || blocks_.back().size() + size > blocks_.back().capacity()) {
    blocks_.emplace_back();
    blocks_.back().reserve(std::max(kBlockBytes, size));
  }
  rowAt_.push_back((std::uint64_t{blocks_.size() - 1} << 32) | blocks_.back().size());
  appendNumber(survey->second);
  appendNumber(static_cast<std::uint32_t>(answer.receivedUtc.size()));
  append(answer.receivedUtc);
  appendNumber(static_cast<std::uint32_t>(kept.size()));
  for (const auto& [id, value] : kept) {
    appendNumber(id);
    appendNumber(static_cast<std::uint32_t>(value->size()));
    append(*value);
  }
  return survey->second;
}

std::string_view AnswersTableModel::bytesAt(std::uint64_t at, std::uint32_t size) const {
  return std::string_view(blocks_[at >> 32]).substr(at & 0xFFFFFFFFU, size);
}

std::uint32_t AnswersTableModel::numberAt(std::uint64_t at) const {
  std::uint32_t value = 0;
  std::memcpy(&value, bytesAt(at, sizeof value).data(), sizeof value);
  return value;
}

std::size_t AnswersTableModel::surveyOf(std::size_t index) const { return numberAt(rowAt_[index]); }

void AnswersTableModel::showSurvey(std::size_t survey, const std::vector<std::string>& names,
                                   const std::vector<std::string>& captions) {
  beginResetModel();
  columns_ = names;
  captions_.clear();
  for (const std::string& caption : captions) captions_.append(QString::fromStdString(caption));
  columnOfName_.assign(names_.size(), kNoColumn);
  for (std::size_t column = 0; column < names.size(); ++column) {
    const auto id = nameIds_.find(names[column]);
    if (id != nameIds_.end()) columnOfName_[id->second] = static_cast<std::uint32_t>(column);
  }
  shown_.clear();
  for (std::size_t index = 0; index < rowAt_.size(); ++index) {
    if (surveyOf(index) == survey) shown_.push_back(static_cast<std::uint32_t>(index));
  }
  endResetModel();
}

std::string AnswersTableModel::cellText(int row, int column) const {
  std::uint64_t at = rowAt_.at(shown_.at(static_cast<std::size_t>(row))) + sizeof(std::uint32_t);
  const std::uint32_t timeSize = numberAt(at);
  at += sizeof(std::uint32_t);
  if (column == 0) return std::string(bytesAt(at, timeSize));
  at += timeSize;
  const std::uint32_t fields = numberAt(at);
  at += sizeof(std::uint32_t);
  const auto wanted = static_cast<std::uint32_t>(column - 1);
  std::string text;
  bool filled = false;
  for (std::uint32_t field = 0; field < fields; ++field) {
    const std::uint32_t id = numberAt(at);
    const std::uint32_t size = numberAt(at + sizeof(std::uint32_t));
    at += 2 * sizeof(std::uint32_t);
    if (columnOfName_[id] == wanted) {
      // Values of a name posted more than once share the cell, as in the export.
      if (filled) text += answers::kRepeatedValueJoin;
      text += bytesAt(at, size);
      filled = true;
    }
    at += size;
  }
  return text;
}

QString AnswersTableModel::cell(int row, int column) const {
  return QString::fromStdString(cellText(row, column));
}

int AnswersTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int AnswersTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size()) + 1;
}

QVariant AnswersTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  switch (role) {
    case Qt::UserRole:
      return cell(index.row(), index.column());
    case Qt::DisplayRole:
      if (index.column() == 0) return receivedTime(cellText(index.row(), 0));
      return cell(index.row(), index.column());
    case Qt::ToolTipRole:
      // A tool tip takes text that looks like markup as markup: the answer is made plain.
      return Qt::convertFromPlainText(cell(index.row(), index.column()), Qt::WhiteSpaceNormal);
    default:
      return {};
  }
}

QVariant AnswersTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  if (section == 0) return kReceivedCaption;
  return captions_.value(section - 1);
}

ColumnTextsModel::ColumnTextsModel(const AnswersTableModel& table, int column, QObject* parent)
    : QAbstractListModel(parent), table_(table), column_(column) {
  // Rows of another survey or another read mean nothing here: the list empties with the table.
  connect(&table, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
    beginResetModel();
    rows_.clear();
    endResetModel();
  });
  for (int row = 0; row < table.rowCount(); ++row) {
    if (!table.cellText(row, column).empty()) rows_.push_back(static_cast<std::uint32_t>(row));
  }
}

int ColumnTextsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant ColumnTextsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || role != Qt::DisplayRole) return {};
  return table_.cell(static_cast<int>(rows_.at(static_cast<std::size_t>(index.row()))), column_);
}

}  // namespace vantrel
