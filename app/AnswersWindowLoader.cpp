#include <QFile>
#include <QLibrary>
#include <QWidget>

#include "app/AnswersWindow.h"

namespace vantrel {
namespace {

MakeAnswersWindow linkedMaker = nullptr;

}  // namespace

void useLinkedAnswersWindow(MakeAnswersWindow make) { linkedMaker = make; }

LoadedAnswersWindow makeAnswersWindow(const std::filesystem::path& pluginFile,
                                      const AnswersWindowSetup& setup) {
  if (linkedMaker != nullptr) return {linkedMaker(setup), {}};
  // Never unloaded: the window's classes and libcurl's global state must outlive the window.
  QLibrary plugin(QFile::decodeName(pluginFile.c_str()));
  plugin.setLoadHints(QLibrary::PreventUnloadHint);
  const auto make = reinterpret_cast<MakeAnswersWindow>(plugin.resolve(kMakeAnswersWindowSymbol));
  if (make == nullptr) return {nullptr, plugin.errorString()};
  return {make(setup), {}};
}

}  // namespace vantrel
