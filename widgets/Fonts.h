#pragma once
// The windows are laid out for three Windows fonts. Each is mapped to the nearest font that
// Debian ships (installed by scripts/setup.sh), so sizes and weights stay close to the layout.

#include <QString>

namespace vantrel {

inline const QString kDialogFontFamily = QStringLiteral("MS Sans Serif");
inline const QString kHeavyFontFamily = QStringLiteral("Arial Black");
inline const QString kNarrowFontFamily = QStringLiteral("Arial Narrow");

// Call once after the application object exists and before the first window is made.
void installFontSubstitutes();

}  // namespace vantrel
