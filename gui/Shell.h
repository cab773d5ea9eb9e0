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
// A Windows program (a file that starts with "MZ") is started through wine when wine is
// installed; otherwise a German message says where the program was written.
void shellStart(const QString& program);

// "wine" or "wine64" from PATH, or empty.
QString wineProgram();

ShellStartHandler setShellStartHandler(ShellStartHandler handler);

}  // namespace vantrel
