#include "widgets/TextEdge.h"

#include <QLineEdit>
#include <QToolTip>
#include <limits>
#include <stdexcept>

#include "base/Win1252.h"

namespace vantrel {

QString fromModel(std::string_view bytes) {
  const std::u32string text = decode1252(bytes);
  return QString::fromUcs4(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toModel(const QString& text) {
  const QList<uint> ucs4 = text.toUcs4();
  const std::u32string points(ucs4.begin(), ucs4.end());
  auto bytes = encode1252(points);
  if (!bytes) throw std::invalid_argument("Text holds a character outside Windows-1252");
  return *bytes;
}

bool fitsWin1252(const QString& text) {
  for (uint cp : text.toUcs4()) {
    if (!byteOf1252(static_cast<char32_t>(cp))) return false;
  }
  return true;
}

QValidator::State Win1252Validator::validate(QString& input, int& /*pos*/) const {
  return fitsWin1252(input) ? Acceptable : Invalid;
}

// A refused character says why under the box, where the user is looking while typing.
void restrictToWin1252(QLineEdit* edit) {
  edit->setValidator(new Win1252Validator(edit));
  QObject::connect(edit, &QLineEdit::inputRejected, edit, [edit] {
    QToolTip::showText(edit->mapToGlobal(QPoint(0, edit->height())), kRefusedCharacterNote, edit);
  });
}

void liftLengthLimit(QLineEdit* edit) { edit->setMaxLength(std::numeric_limits<int>::max()); }

}  // namespace vantrel
