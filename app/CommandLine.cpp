#include "app/CommandLine.h"

#include <string_view>

#include "base/BuildConfig.h"

namespace vantrel {
namespace {

constexpr const char* kHelpText =
    "Aufruf: vantrel-formulare [DATEI.vtq]\n"
    "Vantrel Formulare erstellt Umfrageformulare und baut daraus eigenständige Programme.\n"
    "\n"
    "  DATEI.vtq   öffnet dieses Projekt beim Start\n"
    "  --help      zeigt diese Hilfe\n"
    "  --version   zeigt die Version\n";

}  // namespace

std::optional<int> answerInfoOptions(int argc, const char* const* argv, std::ostream& out) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--") break;
    if (argument == "--help" || argument == "-h") {
      out << kHelpText;
      return 0;
    }
    if (argument == "--version") {
      out << "vantrel-formulare " << kVersion << "\n";
      return 0;
    }
  }
  return std::nullopt;
}

StartArguments startArgumentsOf(const QStringList& arguments) {
  StartArguments start;
  bool optionsEnded = false;
  for (const QString& argument : arguments) {
    if (!optionsEnded && argument == QStringLiteral("--")) {
      optionsEnded = true;
    } else if (!optionsEnded && argument.startsWith(u'-') && argument.size() > 1) {
      start.error = QStringLiteral("Unbekannte Option: %1").arg(argument);
      return start;
    } else if (!start.projectFile.isEmpty()) {
      start.error = QStringLiteral("Es kann nur ein Projekt geöffnet werden.");
      return start;
    } else {
      start.projectFile = argument;
    }
  }
  return start;
}

}  // namespace vantrel
