// vantrel-cli page PROJECT [-o FILE] [--action URL] [--survey KEY]: the form page the tool
// writes for a project, byte for byte, to standard output or safely into FILE, posting to URL
// (without it, to the build's default address) with the survey key KEY.

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "base/UserMessages.h"
#include "cli/Commands.h"
#include "page/FormPage.h"
#include "page/PageFile.h"
#include "project/AnyProjectFile.h"

namespace vantrel::cli {
namespace {

constexpr const char* kUsage =
    "Aufruf: vantrel-cli page PROJEKT [-o DATEI] [--action URL] [--survey KENNUNG]\n";

struct PageArgs {
  std::string project;
  std::optional<std::string> output;
  std::optional<std::string> action;
  std::optional<std::string> survey;
};

std::optional<PageArgs> parsePageArgs(const Args& args) {
  PageArgs parsed;
  bool haveProject = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o") {
      if (parsed.output || i + 1 >= args.size()) return std::nullopt;
      parsed.output = args[++i];
    } else if (args[i] == "--action") {
      if (parsed.action || i + 1 >= args.size()) return std::nullopt;
      parsed.action = args[++i];
    } else if (args[i] == "--survey") {
      if (parsed.survey || i + 1 >= args.size()) return std::nullopt;
      parsed.survey = args[++i];
    } else if (!haveProject && !args[i].empty() && args[i][0] != '-') {
      parsed.project = args[i];
      haveProject = true;
    } else {
      return std::nullopt;
    }
  }
  if (!haveProject) return std::nullopt;
  return parsed;
}

int writeToStandardOutput(const std::string& page) {
  if (std::fwrite(page.data(), 1, page.size(), stdout) != page.size() || std::fflush(stdout) != 0) {
    std::cerr << "Schreibfehler: Die Standardausgabe nimmt nichts mehr an.\n";
    return 1;
  }
  return 0;
}

int writeToFile(const std::string& path, const std::string& page) {
  const Status result = replaceFileContents(path, page);
  if (!result) {
    std::cerr << "Die Datei " << std::filesystem::path(path).filename().string()
              << " konnte nicht geschrieben werden! (" << germanMessage(result.failure()) << ")\n";
    return 1;
  }
  return 0;
}

}  // namespace

int runPage(const Args& args) {
  const std::optional<PageArgs> parsed = parsePageArgs(args);
  if (!parsed) {
    std::cerr << kUsage;
    return 1;
  }
  std::optional<FormMailAddress> action = FormMailAddress();
  if (parsed->action) {
    action = actionFromArgument(*parsed->action);
    if (!action) return 1;
  }
  if (parsed->survey) {
    const std::optional<std::string> survey = surveyFromArgument(*parsed->survey);
    if (!survey) return 1;
    action = action->withSurvey(*survey);
  }
  warnOfOwnComputerReceiver(*action);
  const Project project = loadProjectFromPath(parsed->project);
  const std::string page = generateFormPage(project.fields, project.email, *action);
  return parsed->output ? writeToFile(*parsed->output, page) : writeToStandardOutput(page);
}

}  // namespace vantrel::cli
