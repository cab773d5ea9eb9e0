#pragma once
// Today's date as the desktop sees it. Tests replace the source so that dates shown in the
// windows are fixed.

#include <QDate>
#include <functional>

namespace vantrel {

using DateSource = std::function<QDate()>;

// The current local date.
QDate currentLocalDate();

// Replaces the source; returns the one that was in place. An empty source restores the clock.
DateSource setDateSource(DateSource source);

}  // namespace vantrel
