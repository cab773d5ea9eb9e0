#pragma once
// A real main window with its field editor in a temporary program folder that is also its data
// and documents folder (as a copy of the tool that keeps its files beside itself), and the ways a
// test reaches what the window shows: its controls by object name, the field list through
// ListView1.

#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <memory>

#include "app/FieldListModel.h"
#include "app/MainUnit.h"
#include "gui/EditFieldsFUnit.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/TempFolder.h"
#include "tests/support/qt/TempFolderPaths.h"
#include "widgets/ImageBtnUnit.h"

namespace vantrel::test {

struct MainFormFixture {
  TempFolder folder;
  std::unique_ptr<TMainForm> form;
  TEditFieldsForm* editor = nullptr;

  explicit MainFormFixture(bool show = true) { open(show); }

  // The program folder, without a closing "/", and a file in it.
  QString folderPath() const { return pathIn(folder); }
  QString filePath(const QString& name) const { return pathIn(folder, name); }
  QString programFile() const { return filePath(QStringLiteral("vantrel-formulare")); }
  QString iniFile() const { return filePath(QStringLiteral("vantrel-formulare.INI")); }

  void open(bool show = true) {
    form = std::make_unique<TMainForm>(workingFoldersIn(folderPath()), iniFile());
    editor = new TEditFieldsForm(form.get());
    form->setFieldEditor(editor);
    if (show) form->show();
  }
};

// The rows ListView1 shows.
inline FieldListModel* fieldListOf(const QWidget& form) {
  return qobject_cast<FieldListModel*>(named<QTreeView>(&form, "ListView1")->model());
}

// Selects a whole row of ListView1 as a click on it does; -1 clears the selection.
inline void selectRow(const QWidget& form, int row) {
  auto* view = named<QTreeView>(&form, "ListView1");
  if (row < 0) {
    view->selectionModel()->clearSelection();
    return;
  }
  view->selectionModel()->setCurrentIndex(
      view->model()->index(row, 0),
      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// The row selected in ListView1, or -1.
inline int selectedRow(const QWidget& form) {
  const QModelIndexList rows =
      named<QTreeView>(&form, "ListView1")->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.front().row();
}

// Goes to the tab "EXE erstellen" and presses "Go!".
inline void pressGo(QWidget& form) {
  named<QTabWidget>(&form, "PageControl2")->setCurrentIndex(2);
  QTest::mouseClick(named<TImageBtn>(&form, "GoBtn1"), Qt::LeftButton, {}, QPoint(10, 10));
}

// Places a window by its outer rectangle, frame included, as a user sees it.
inline void setOuterGeometry(QWidget& window, const QRect& outer) {
  const QSize frame = window.frameGeometry().size() - window.geometry().size();
  window.resize(outer.size() - frame);
  window.move(outer.topLeft());
}

// A progress report as an outside sender's posted event delivers it.
inline void reportProgress(QWidget& form, int percent) {
  ProgressEvent event(percent);
  QCoreApplication::sendEvent(&form, &event);
}

}  // namespace vantrel::test
