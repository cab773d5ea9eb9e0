// vantrel-cli convert IN OUT: between the project file and its JSON form, by extension.

#include <iostream>

#include "cli/Commands.h"
#include "project/AnyProjectFile.h"
#include "project/ProjectJson.h"

namespace vantrel::cli {

int runConvert(const Args& args) {
  if (args.size() != 2) {
    std::cerr << "Aufruf: vantrel-cli convert EIN AUS\n";
    return 1;
  }
  const std::string& input = args[0];
  const std::string& output = args[1];
  const Project project = loadProjectFromPath(input);
  if (output == "-") {
    std::cout << projectToJson(project) << std::flush;
    if (!std::cout) {
      std::cerr << "Schreibfehler: Die Standardausgabe nimmt nichts mehr an.\n";
      return 1;
    }
    return 0;
  }
  saveProjectToPath(output, project);
  return 0;
}

}  // namespace vantrel::cli
