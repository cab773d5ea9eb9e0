#pragma once
// Helpers for driving the real windows: controls found by object name, a recorder in place of
// file dialogs and a way to act inside a modal dialog while it runs. Message boxes are answered
// by the recorder of tests/support.

#include <QApplication>
#include <QByteArray>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QTest>
#include <QTimer>
#include <functional>

#include "gui/FileDialogs.h"
#include "gui/MessageBox.h"
#include "tests/support/qt/MessageBoxRecorder.h"

namespace vantrel::test {

// Answers every file dialog from a queue; an empty queue cancels.
class FileDialogRecorder {
 public:
  FileDialogRecorder() {
    previous_ =
        setFileDialogHandler([this](const FileDialogRequest& request) -> std::optional<QString> {
          requests.append(request);
          if (answers.isEmpty()) return std::nullopt;
          return answers.takeFirst();
        });
  }
  ~FileDialogRecorder() { setFileDialogHandler(std::move(previous_)); }
  FileDialogRecorder(const FileDialogRecorder&) = delete;
  FileDialogRecorder& operator=(const FileDialogRecorder&) = delete;

  QList<FileDialogRequest> requests;
  QList<QString> answers;

 private:
  FileDialogHandler previous_;
};

// Uses the next real file dialog like a user: once the dialog has the focus, types `path` into
// its name box and accepts. A question the dialog asks on its own is noted and answered with No,
// and the dialog is then cancelled, so a test never hangs on it.
class RealFileDialogUser {
 public:
  explicit RealFileDialogUser(QString path) : path_(std::move(path)) {
    QObject::connect(&poll_, &QTimer::timeout, [this] { step(); });
    poll_.start(20);
  }
  RealFileDialogUser(const RealFileDialogUser&) = delete;
  RealFileDialogUser& operator=(const RealFileDialogUser&) = delete;

  bool answered = false;
  QStringList questions;

 private:
  void step() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      questions.append(box->text());
      box->reject();
      return;
    }
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (!dialog || waiting_) return;
    if (answered) {
      dialog->reject();
      return;
    }
    waiting_ = true;
    const bool active = QTest::qWaitForWindowActive(dialog);
    waiting_ = false;
    auto* nameBox = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!active || !nameBox) return;
    nameBox->setText(path_);
    answered = true;
    // As the dialog's own button does, from the event loop: a question the dialog then asks
    // must find this poll free to note and answer it.
    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
  }

  QString path_;
  QTimer poll_;
  bool waiting_ = false;
};

// The child of `parent` with this object name, as a user finds a control by looking; a
// missing one is a broken test and stops the run.
template <typename T>
T* named(const QObject* parent, const char* objectName) {
  T* found = parent->findChild<T*>(QString::fromLatin1(objectName));
  if (!found) qFatal("no child %s", objectName);
  return found;
}

// A caption as the user reads it: the "&" before a mnemonic letter is not shown, "&&" shows
// as one "&".
inline QString shownCaption(const QString& text) {
  QString shown;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == u'&' && i + 1 < text.size()) ++i;
    shown += text[i];
  }
  return shown;
}

// The key that goes with Alt for a caption's mnemonic, or nothing.
inline QChar mnemonicOf(const QString& text) {
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != u'&') continue;
    if (text[i + 1] != u'&') return text[i + 1].toUpper();
    ++i;
  }
  return QChar();
}

inline QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Types text as key presses, one character at a time, umlauts and all.
inline void typeText(QWidget* widget, const QString& text) {
  for (const QChar c : text) {
    QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
  }
}

// Runs `inside` once `dialog` is shown modally by `trigger`. If the dialog is still open
// afterwards, it is rejected so a failing test cannot hang; returns whether `inside` ran
// and left the dialog closed.
inline bool whileModal(QDialog* dialog, const std::function<void()>& trigger,
                       const std::function<void()>& inside, bool* stayedOpen = nullptr) {
  bool ran = false;
  bool open = false;
  QPointer<QDialog> guard(dialog);
  QTimer::singleShot(0, dialog, [&] {
    ran = true;
    inside();
    QApplication::processEvents();
    open = guard && guard->isVisible();
    if (open) guard->reject();
  });
  trigger();
  if (stayedOpen) *stayedOpen = open;
  return ran;
}

}  // namespace vantrel::test
