#pragma once
// A real main window with its field editor in a temporary program folder.

#include <QTemporaryDir>
#include <memory>

#include "app/MainUnit.h"
#include "widgets/ButtonsXP.h"
#include "gui/EditFieldsFUnit.h"

namespace vantrel::test {

struct MainFormFixture {
  QTemporaryDir folder;
  std::unique_ptr<TMainForm> form;
  TEditFieldsForm* editor = nullptr;

  explicit MainFormFixture(bool show = true) { open(show); }

  QString programFile() const { return folder.path() + QStringLiteral("/vantrel-formulare"); }
  QString iniFile() const { return folder.path() + QStringLiteral("/vantrel-formulare.INI"); }

  void open(bool show = true) {
    form = std::make_unique<TMainForm>(programFile(), iniFile());
    editor = new TEditFieldsForm(form.get());
    form->setFieldEditor(editor);
    if (show) form->show();
  }
};

}  // namespace vantrel::test
