#pragma once
// The browser engine as the tests of generated pages drive it: a view set up as every window
// of the tool sets it up, which loads a page, runs a script in it and reads what it shows. The
// page posts to the real form-mail host name; the engine is told before the application exists
// to find that host at a port on 127.0.0.1.

#include <QString>
#include <QUrl>
#include <QVariant>
#include <memory>
#include <optional>
#include <string>

class QWebEngineView;

namespace vantrel::test {

inline constexpr int kPageLoadTimeoutMs = 60000;
inline constexpr int kPageScriptTimeoutMs = 20000;

// The host part of the form-mail address compiled into the page generator.
QString formMailHost();

// Before the application object: the offscreen platform unless another is asked for, the
// form-mail host mapped to `port` on 127.0.0.1, and no proxy.
void prepareEngineForLoopbackFormMail(quint16 port);

// Windows-1252 bytes of a page as the text the browser shows.
QString fromPage(const std::string& bytes);
// A JavaScript string literal holding `text`.
QString jsString(const QString& text);

class PageBrowser {
 public:
  PageBrowser();
  ~PageBrowser();
  PageBrowser(const PageBrowser&) = delete;
  PageBrowser& operator=(const PageBrowser&) = delete;

  QWebEngineView* view() const { return view_.get(); }
  // True once the page has loaded, within kPageLoadTimeoutMs.
  bool load(const QUrl& url);
  // The script's result, or nothing when the engine did not answer within kPageScriptTimeoutMs.
  std::optional<QVariant> runScript(const QString& script);
  // The text of the page's body, empty when there is none.
  QString shownText();

 private:
  std::unique_ptr<QWebEngineView> view_;
};

}  // namespace vantrel::test
