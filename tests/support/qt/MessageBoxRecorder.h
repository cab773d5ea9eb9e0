#pragma once
// The message recorder in place of the tool's message boxes for as long as it lives.

#include <QList>
#include <QString>
#include <QStringList>

#include "gui/MessageBox.h"
#include "tests/support/MessageRecorder.h"

namespace vantrel::test {

struct ShownMessage {
  QString text;
  QString title;
  int flags = 0;
};

class MessageBoxRecorder : public MessageRecorder<ShownMessage, QList> {
 public:
  MessageBoxRecorder() {
    previous_ = setMessageBoxHandler([this](const QString& text, const QString& title, int flags) {
      return record({text, title, flags});
    });
  }
  ~MessageBoxRecorder() { setMessageBoxHandler(std::move(previous_)); }
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

  // The texts of the messages shown, in order.
  [[nodiscard]] QStringList texts() const {
    QStringList list;
    for (const auto& message : shown) list.append(message.text);
    return list;
  }

 private:
  MessageBoxHandler previous_;
};

}  // namespace vantrel::test
