// Takes pictures of the tool's windows for the documentation:
//   vantrel-screenshots OUTPUT_FOLDER
// Each tab of the main window and the field editor, with a small sample form.

#include <QDir>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

#include "app/FieldListModel.h"
#include "app/MainUnit.h"
#include "app/VantrelApplication.h"
#include "project/gui/EditFieldsFUnit.h"

namespace {

vantrel::FormField sampleField(const char* name, int type, const char* caption, const char* content,
                               const char* optional, const char* preselected) {
  vantrel::FieldEditorValues values;
  values.name = name;
  values.typeIndex = type;
  values.caption = caption;
  values.content = content;
  values.width = "40";
  values.height = "5";
  values.maxChars = "0";
  values.mandatory = std::string(optional) == "Nein";
  values.preselected = std::string(preselected) == "Ja";
  return vantrel::fieldFromEditor(values);
}

void save(QWidget& window, const QString& file) {
  QApplication::processEvents();
  QTest::qWait(50);
  window.grab().save(file);
}

}  // namespace

int main(int argc, char** argv) {
  vantrel::VantrelApplication app(argc, argv);
  vantrel::loadGermanTranslations(app);
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
  QDir().mkpath(folder);

  vantrel::TMainForm form(QDir(folder).absoluteFilePath(QStringLiteral("vantrel-formulare")), QString());
  vantrel::TEditFieldsForm editor(&form);
  form.setFieldEditor(&editor);
  auto* list = form.fieldList();
  list->appendField(sampleField("Umfrage", 6, "Kundenumfrage 2026", "", "Ja", "Nein"));
  list->appendField(sampleField("Name", 0, "Ihr Name", "", "Nein", "Nein"));
  list->appendField(sampleField("Zufrieden", 2, "Sehr zufrieden", "sehr", "Ja", "Ja"));
  list->appendField(sampleField("Zufrieden", 2, "Zufrieden", "ja", "Ja", "Nein"));
  list->appendField(sampleField("Newsletter", 3, "Newsletter abonnieren", "ja", "Ja", "Nein"));
  list->appendField(sampleField("Anmerkung", 1, "Anmerkungen", "", "Ja", "Nein"));
  form.emailEd->setText(QStringLiteral("umfrage@brixtel.example"));
  form.selectRow(1);
  form.show();

  const char* names[] = {"main-formularfelder.png", "main-vorschau.png", "main-exe-erstellen.png"};
  for (int tab = 0; tab < 3; ++tab) {
    form.PageControl2->setCurrentIndex(tab);
    save(form, QDir(folder).filePath(QString::fromLatin1(names[tab])));
  }
  editor.setValues(vantrel::editorValuesFor(list->fieldAt(1), 0));
  editor.show();
  save(editor, QDir(folder).filePath(QStringLiteral("field-editor.png")));
  return 0;
}
