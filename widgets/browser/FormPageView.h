#pragma once
// The view that shows generated form pages, as a program sees it that does not link the browser
// engine: the engine is loaded from a plugin file the first time such a view is made, so the
// program starts without it and without the OpenGL it renders through.

#include <QString>
#include <QUrl>
#include <filesystem>

class QWidget;

namespace vantrel::browser {

// The view's widget owns it: it goes when its parent deletes the widget.
class FormPageView {
 public:
  virtual QWidget* widget() = 0;
  virtual void loadPage(const QUrl& url) = 0;
  // Through the view's own history; with nothing to go to these do nothing.
  virtual void goBack() = 0;
  virtual void goForward() = 0;
  virtual void reloadPage() = 0;

 protected:
  ~FormPageView() = default;
};

// The plugin file, beside the program or in the installed private folder.
inline constexpr const char* kFormPageViewPluginFile = "vantrel-form-page-view.so";
// The function the plugin exports: FormPageView* (QWidget* parent).
inline constexpr const char* kMakeFormPageViewSymbol = "vantrel_make_form_page_view";

struct LoadedFormPageView {
  FormPageView* view = nullptr;  // null when the plugin could not be loaded
  QString error;                 // the loader's words when it could not
};

// Prepares the engine (prepareBrowserEngineLate), loads `pluginFile` and makes a view, set up
// for form pages, in `parent`. The plugin stays loaded for the rest of the program's life.
[[nodiscard]] LoadedFormPageView makeFormPageView(const std::filesystem::path& pluginFile,
                                                  QWidget* parent);

}  // namespace vantrel::browser
