#pragma once
// How a failure reaches the user: every one, whether a command expected it (an exception from
// the core, a result that came back with a reason) or a handler let it escape, is shown by
// showFailure(). Handlers are connected through connectHandler(), so nothing they throw has to
// travel through the toolkit's own frames.

#include <QObject>
#include <QString>
#include <exception>

namespace vantrel {

// The program's own name, the title of what the general error handler shows.
inline const QString kApplicationTitle = QStringLiteral("Vantrel Formulare 1.0");

// Who reports decides the title: a command that checks for the failure itself shows it as
// "Fehler"; the general error handler, which catches what nobody checked for, under the
// program's name.
enum class FailureReporter { Command, GeneralHandler };

void showFailure(const QString& text, FailureReporter reporter);
void showFailure(const std::exception& error, FailureReporter reporter);

// Runs `work`; whatever it throws is shown by the general error handler and goes no further.
template <typename Work>
void runGuarded(Work&& work) noexcept {
  try {
    work();
  } catch (const std::exception& error) {
    showFailure(error, FailureReporter::GeneralHandler);
  } catch (...) {
    showFailure(QStringLiteral("Unbekannter Fehler"), FailureReporter::GeneralHandler);
  }
}

// Connects `signal` to a handler of `window` that runs guarded. The handler may take the
// signal's first arguments or none, as with QObject::connect.
template <typename Sender, typename Signal, typename Window, typename... Args>
QMetaObject::Connection connectHandler(Sender* sender, Signal signal, Window* window,
                                       void (Window::*handler)(Args...)) {
  return QObject::connect(sender, signal, window, [window, handler](Args... args) {
    runGuarded([&] { (window->*handler)(args...); });
  });
}

}  // namespace vantrel
