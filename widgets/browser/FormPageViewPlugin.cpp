// The plugin that holds the browser engine for programs that load it on demand: one function
// that makes a view for generated form pages.

#include <QWebEngineView>

#include "widgets/browser/BrowserEngine.h"
#include "widgets/browser/FormPageView.h"

namespace vantrel::browser {
namespace {

class EngineFormPageView final : public QWebEngineView, public FormPageView {
 public:
  explicit EngineFormPageView(QWidget* parent) : QWebEngineView(parent) { setUpForFormPages(this); }
  QWidget* widget() override { return this; }
  void loadPage(const QUrl& url) override { load(url); }
  void goBack() override { back(); }
  void goForward() override { forward(); }
  void reloadPage() override { reload(); }
};

}  // namespace
}  // namespace vantrel::browser

extern "C" Q_DECL_EXPORT vantrel::browser::FormPageView* vantrel_make_form_page_view(
    QWidget* parent) {
  return new vantrel::browser::EngineFormPageView(parent);
}
