#include "app/FieldListModel.h"

#include <algorithm>
#include <array>

#include "widgets/TextEdge.h"

namespace vantrel {
namespace {

struct ColumnInfo {
  const char16_t* header;
  int width;
};

constexpr std::array<ColumnInfo, FieldListModel::ColumnCount> kColumns = {{
    {u"Name", 80},
    {u"Typ", 80},
    {u"Beschriftung", 80},
    {u"Inhalt", 80},
    {u"Breite", 65},
    {u"Höhe", 65},
    {u"Max. Zeichen", 80},
    {u"Optional", 60},
    {u"Ausgewählt", 70},
}};

}  // namespace

FieldListModel::FieldListModel(QObject* parent) : QAbstractTableModel(parent) {}

void FieldListModel::setFields(FieldList fields) {
  beginResetModel();
  fields_ = std::move(fields);
  endResetModel();
}

void FieldListModel::appendField(const FormField& field) { insertField(fields_.size(), field); }

void FieldListModel::insertField(int position, const FormField& field) {
  const int at = std::clamp(position, 0, fields_.size());
  beginInsertRows(QModelIndex(), at, at);
  fields_.insert(at, field);
  endInsertRows();
}

void FieldListModel::replaceField(int row, const FormField& field) {
  fields_.at(row) = field;
  emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void FieldListModel::removeField(int row) {
  beginRemoveRows(QModelIndex(), row, row);
  fields_.remove(row);
  endRemoveRows();
}

int FieldListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : fields_.size();
}

int FieldListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant FieldListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= fields_.size()) return {};
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  return fromModel(memberAt(fields_.at(index.row()), index.column()));
}

QVariant FieldListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount) return {};
  if (role == Qt::DisplayRole)
    return QString::fromUtf16(kColumns[static_cast<size_t>(section)].header);
  return {};
}

Qt::ItemFlags FieldListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == NameColumn) flags |= Qt::ItemIsEditable;
  return flags;
}

// The name typed in place is taken as it is: the editor's filter does not apply here.
bool FieldListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || index.column() != NameColumn || role != Qt::EditRole) return false;
  const QString text = value.toString();
  if (!fitsWin1252(text)) return false;
  fields_.at(index.row()).InternalName = toModel(text);
  emit dataChanged(index, index);
  return true;
}

int FieldListModel::columnWidth(int column) {
  return kColumns.at(static_cast<size_t>(column)).width;
}

}  // namespace vantrel
