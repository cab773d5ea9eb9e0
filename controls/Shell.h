#pragma once
// Handing things to the desktop: web addresses to the user's browser. Tests replace it.

#include <QString>
#include <functional>

namespace vantrel {

using ShellOpenHandler = std::function<void(const QString& address)>;

// Opens a web address; whether a browser answers is not reported.
void shellOpen(const QString& address);

ShellOpenHandler setShellOpenHandler(ShellOpenHandler handler);

}  // namespace vantrel
