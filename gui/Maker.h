#pragma once
// The maker's addresses, shown by the main window's bottom bar and by the about box.
// They lie under the reserved .example domain, so nothing points at a real site.

#include <QString>

namespace vantrel {

inline const QString kMakerWebAddress = QStringLiteral("http://www.brixtel.example");
inline const QString kMakerEmailAddress = QStringLiteral("info@brixtel.example");

}  // namespace vantrel
