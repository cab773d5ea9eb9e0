#pragma once
// The edge between the widgets' Unicode and the model's Windows-1252 bytes.

#include <QString>
#include <QValidator>
#include <string>
#include <string_view>

class QLineEdit;

namespace vantrel {

QString fromModel(std::string_view bytes);

// Throws std::invalid_argument for a character Windows-1252 cannot hold; the edit boxes
// refuse such characters, so this only fires on a programming error.
std::string toModel(const QString& text);

bool fitsWin1252(const QString& text);

// Refuses any input that holds a character outside Windows-1252: typing it does nothing.
class Win1252Validator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int& pos) const override;
};

// The note shown under a box that refused a character.
inline const QString kRefusedCharacterNote =
    QStringLiteral("Dieses Zeichen kann nicht übernommen werden (nur Zeichen aus Windows-1252).");

// Refuses what Win1252Validator refuses and shows kRefusedCharacterNote when it does.
void restrictToWin1252(QLineEdit* edit);

// Qt's text boxes stop at 32767 characters; the tool's free texts have no limit of their own.
void liftLengthLimit(QLineEdit* edit);

}  // namespace vantrel
