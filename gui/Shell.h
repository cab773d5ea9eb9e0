#pragma once
// Handing things to the desktop: web addresses to the user's browser, built programs to the
// system to run. Tests replace both.

#include <QString>
#include <functional>

namespace vantrel {

using ShellOpenHandler = std::function<void(const QString& address)>;

// Opens a web address; whether a browser answers is not reported.
void shellOpen(const QString& address);

ShellOpenHandler setShellOpenHandler(ShellOpenHandler handler);

using ShellStartHandler = std::function<void(const QString& program)>;

// Starts a program as a process of its own that outlives the tool; its result is not examined.
void shellStart(const QString& program);

ShellStartHandler setShellStartHandler(ShellStartHandler handler);

}  // namespace vantrel
