#pragma once
// The tool's command line: vantrel-formulare [--help | --version | DATEI.vtq].

#include <QString>
#include <QStringList>
#include <optional>
#include <ostream>

namespace vantrel {

// --help and --version are answered before anything of the window system starts, so they work
// without a display. The exit code when one of them was given (the text is written to `out`).
[[nodiscard]] std::optional<int> answerInfoOptions(int argc, const char* const* argv,
                                                   std::ostream& out);

// What is left after Qt took its own options (-platform, -style, ...): nothing, or the one
// project to open at start.
struct StartArguments {
  QString projectFile;  // empty: start with an untitled project
  QString error;        // not empty: the arguments make no sense; say so and end
};
[[nodiscard]] StartArguments startArgumentsOf(const QStringList& arguments);

}  // namespace vantrel
