#include "widgets/Fonts.h"

#include <QFont>
#include <QStringList>

namespace vantrel {

void installFontSubstitutes() {
  // Each list is tried in order; the later names keep the look sensible where a package is
  // missing. "MS Sans Serif" has Arial's proportions, "Liberation Sans" Arial's metrics;
  // "Lato Black" is the heaviest sans Debian ships; "Liberation Sans Narrow" has the metrics
  // of "Arial Narrow".
  QFont::insertSubstitutions(kDialogFontFamily,
                             {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
  QFont::insertSubstitutions(kHeavyFontFamily,
                             {QStringLiteral("Lato Black"), QStringLiteral("DejaVu Sans")});
  QFont::insertSubstitutions(kNarrowFontFamily, {QStringLiteral("Liberation Sans Narrow"),
                                                 QStringLiteral("DejaVu Sans Condensed")});
  QFont::insertSubstitutions(QStringLiteral("Arial"),
                             {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
}

}  // namespace vantrel
