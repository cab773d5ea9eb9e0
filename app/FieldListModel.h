#pragma once
// The field list as the table that ListView1 shows: nine text columns, one row per field.

#include <QAbstractTableModel>

#include "project/FieldList.h"

namespace vantrel {

class FieldListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column {
    NameColumn = 0,
    TypeColumn,
    CaptionColumn,
    ContentColumn,
    WidthColumn,
    HeightColumn,
    MaxCharsColumn,
    OptionalColumn,
    PreselectedColumn,
    ColumnCount
  };

  explicit FieldListModel(QObject* parent = nullptr);

  const FieldList& fields() const { return fields_; }
  const FormField& fieldAt(int row) const { return fields_.at(row); }

  // Replaces the whole list, as opening a project does.
  void setFields(FieldList fields);
  void appendField(const FormField& field);
  void insertField(int position, const FormField& field);
  void replaceField(int row, const FormField& field);
  void removeField(int row);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  static int columnWidth(int column);

 private:
  FieldList fields_;
};

}  // namespace vantrel
