#include <QLibrary>

#include "widgets/browser/BrowserStart.h"
#include "widgets/browser/FormPageView.h"

namespace vantrel::browser {

LoadedFormPageView makeFormPageView(const std::filesystem::path& pluginFile, QWidget* parent) {
  prepareBrowserEngineLate();
  // Never unloaded: the engine keeps threads and static state that outlive any one view.
  QLibrary plugin(QString::fromStdString(pluginFile.string()));
  plugin.setLoadHints(QLibrary::PreventUnloadHint);
  using Make = FormPageView* (*)(QWidget*);
  const auto make = reinterpret_cast<Make>(plugin.resolve(kMakeFormPageViewSymbol));
  if (make == nullptr) return {nullptr, plugin.errorString()};
  return {make(parent), {}};
}

}  // namespace vantrel::browser
