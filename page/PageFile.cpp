#include "page/PageFile.h"

#include "base/AtomicFile.h"
#include "base/Win1252.h"
#include "page/FormPage.h"

namespace vantrel {

std::string ownComputerReceiverText(const FormMailAddress& action) {
  return "Das Formular sendet die Antworten an " + utf8From1252(action.text()) +
         ", also an den Rechner der Befragten selbst: Dort kommen sie bei niemandem an.";
}

Status replaceFileContents(const std::filesystem::path& path, std::string_view bytes,
                           SyncBatch* later) {
  auto file = AtomicFile::begin(path);
  if (!file) return file.status();
  if (Status written = file.value().write(bytes); !written) return written;
  return file.value().commit(later);
}

Status writeFormPage(const std::filesystem::path& folder, const FieldList& fields,
                     std::string_view email, const FormMailAddress& action, SyncBatch* later) {
  return replaceFileContents(folder / kFormPageFileName, generateFormPage(fields, email, action),
                             later);
}

}  // namespace vantrel
