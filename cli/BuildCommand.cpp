// vantrel-cli build PROJECT -o OUT [--target windows|linux] [--proto FILE] [--action URL]
//                  [--survey KEY] [--icon PICTURE] [--force]:
// the standalone program of a project, built as the tool's build button builds it, with the
// prototype of the target beside the CLI (ProtoExe.dat for Windows, the default, ProtoLinux.dat
// for Linux) or FILE, the page posting to URL (without it, the build's default address) and the
// icon made from PICTURE (without it, the standard icon). The tool's messages go to standard
// error; no questions are asked, so an existing OUT is replaced only with --force.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "base/SupportFiles.h"
#include "base/UserMessages.h"
#include "base/Win1252.h"
#include "builder/BuildProgram.h"
#include "cli/Commands.h"
#include "cli/PictureInput.h"
#include "icon/IconPos.h"
#include "icon/RenderIcon.h"
#include "icon/StandardIcon.h"
#include "page/FormPage.h"
#include "page/PageFile.h"
#include "project/AnyProjectFile.h"

namespace vantrel::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "Aufruf: vantrel-cli build PROJEKT -o AUSGABE [--target windows|linux] [--proto DATEI] "
    "[--action URL] [--survey KENNUNG] [--icon BILD] [--force]\n";

struct BuildArgs {
  std::string project;
  std::string output;
  std::optional<std::string> target;
  std::optional<std::string> prototype;
  std::optional<std::string> action;
  std::optional<std::string> survey;
  std::optional<std::string> icon;
  bool force = false;
};

std::optional<BuildArgs> parseBuildArgs(const Args& args) {
  BuildArgs parsed;
  bool haveProject = false;
  bool haveOutput = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o" && !haveOutput && i + 1 < args.size()) {
      parsed.output = args[++i];
      haveOutput = true;
    } else if (args[i] == "--target" && !parsed.target && i + 1 < args.size()) {
      parsed.target = args[++i];
      if (!prototypeOfTarget(*parsed.target)) return std::nullopt;
    } else if (args[i] == "--proto" && !parsed.prototype && i + 1 < args.size()) {
      parsed.prototype = args[++i];
    } else if (args[i] == "--action" && !parsed.action && i + 1 < args.size()) {
      parsed.action = args[++i];
    } else if (args[i] == "--survey" && !parsed.survey && i + 1 < args.size()) {
      parsed.survey = args[++i];
    } else if (args[i] == "--icon" && !parsed.icon && i + 1 < args.size()) {
      parsed.icon = args[++i];
    } else if (args[i] == "--force") {
      parsed.force = true;
    } else if (!haveProject && !args[i].empty() && args[i][0] != '-') {
      parsed.project = args[i];
      haveProject = true;
    } else {
      return std::nullopt;
    }
  }
  if (!haveProject || !haveOutput || parsed.output.empty()) return std::nullopt;
  return parsed;
}

int showOnStandardError(const exe::BuildMessage& message) {
  std::cerr << utf8From1252(message.text) << "\n";
  return exe::kIdOk;
}

// The tool's prototype of a target: beside this program, or in the installed private folder.
fs::path installedPrototype(const std::string& fileName) {
  fs::path folder = runningProgramFolder();
  if (folder.empty()) folder = fs::current_path();
  return supportFilePath(folder, fileName);
}

// The page goes into a folder of its own for the length of the build: the command line leaves
// no "formular.htm" behind anywhere.
class PageFolder {
 public:
  PageFolder() {
    std::string pattern = (fs::temp_directory_path() / "vantrel-build-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~PageFolder() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  PageFolder(const PageFolder&) = delete;
  PageFolder& operator=(const PageFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

}  // namespace

int runBuild(const Args& args) {
  const std::optional<BuildArgs> parsed = parseBuildArgs(args);
  if (!parsed) {
    std::cerr << kUsage;
    return 1;
  }
  std::optional<FormMailAddress> action;
  if (parsed->action) {
    action = actionFromArgument(*parsed->action);
    if (!action) return 1;
  }
  if (parsed->survey) {
    const std::optional<std::string> survey = surveyFromArgument(*parsed->survey);
    if (!survey) return 1;
    action = action.value_or(FormMailAddress()).withSurvey(*survey);
  }
  const Project project = loadProjectFromPath(parsed->project);
  // The picture is read first: a picture that cannot be used stops the build before anything
  // is written.
  const IconBitmap icon =
      renderIconBitmap(parsed->icon ? loadPictureFile(*parsed->icon) : standardIconPicture());
  PageFolder folder;
  if (folder.path().empty()) {
    std::cerr << "Kein temporärer Ordner für die Formularseite.\n";
    return 1;
  }

  exe::BuildJob job;
  job.fields = project.fields;
  job.email = project.email;
  job.settings = project.settings.value_or(startupSettings());
  job.outputText = parsed->output;
  job.action = action ? action->text() : std::string();
  // The icon pattern lies with the prototype.
  job.prototype = parsed->prototype
                      ? fs::path(*parsed->prototype)
                      : installedPrototype(*prototypeOfTarget(parsed->target.value_or("windows")));
  job.supportFolder = job.prototype.parent_path();
  job.pageFolder = folder.path();
  job.temporaryPage = true;
  job.icon = icon;

  exe::BuildCallbacks callbacks;
  callbacks.show = [force = parsed->force](const exe::BuildMessage& message) {
    if (message == exe::kOverwriteQuestion) {
      if (force) return exe::kIdYes;
      std::cerr << utf8From1252(message.text) << "\n"
                << "Nichts geschrieben; --force ersetzt die Datei.\n";
      return exe::kIdNo;
    }
    return showOnStandardError(message);
  };
  callbacks.onPageWritten = [](const Status& page) {
    if (!page)
      std::cerr << utf8From1252(kPageWriteFailedMessage) << " (" << germanMessage(page.failure())
                << ")\n";
  };
  const exe::ProgramBuild build = exe::buildProgram(job, callbacks);
  if (!build.built()) {
    if (!build.failure.detail.empty()) std::cerr << "(" << germanMessage(build.failure) << ")\n";
    return 1;
  }
  if (!build.icon) {
    std::cerr << utf8From1252(build.icon.reason()) << " (" << build.output.string() << ")\n";
    return 1;
  }
  return 0;
}

}  // namespace vantrel::cli
