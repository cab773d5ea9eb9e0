#pragma once
// The application object. Its notify() is the general error handler: an exception that
// reaches the event loop is shown in a message box, and the program carries on.

#include <QApplication>
#include <exception>
#include <utility>

namespace vantrel {

inline const QString kApplicationTitle = QStringLiteral("Vantrel Formulare 1.0");

class VantrelApplication : public QApplication {
 public:
  VantrelApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// Shows an exception's text the way the general error handler does.
void showException(const std::exception& error);

// Runs a handler and hands anything it throws to the general error handler, so no exception
// has to travel through the toolkit's own frames.
template <typename Handler>
auto guarded(Handler handler) {
  return [handler]() {
    try {
      handler();
    } catch (const std::exception& error) {
      showException(error);
    }
  };
}

// Qt's own texts (dialog buttons, file dialogs, context menus) in German, whatever the
// system's language.
void loadGermanTranslations(QCoreApplication& app);

}  // namespace vantrel
