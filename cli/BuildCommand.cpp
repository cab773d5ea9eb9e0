// vantrel-cli build PROJECT -o OUT [--proto FILE] [--icon PICTURE] [--force]: the standalone
// program of a project, built as the tool's build button builds it, with the prototype beside
// the CLI (or FILE) and the icon made from PICTURE (without it, the standard icon). The tool's messages go to standard error; no questions are asked, so an existing
// OUT is replaced only with --force.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "builder/ExeAssembly.h"
#include "icon/IconPos.h"
#include "icon/RenderIcon.h"
#include "icon/StandardIcon.h"
#include "cli/PictureInput.h"
#include "cli/Commands.h"
#include "page/FormPage.h"
#include "page/PageFile.h"
#include "project/AnyProjectFile.h"
#include "base/Win1252.h"

namespace vantrel::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "Aufruf: vantrel-cli build PROJEKT -o AUSGABE [--proto DATEI] [--icon BILD] [--force]\n";

struct BuildArgs {
  std::string project;
  std::string output;
  std::optional<std::string> prototype;
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
    } else if (args[i] == "--proto" && !parsed.prototype && i + 1 < args.size()) {
      parsed.prototype = args[++i];
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

// The folder of this program, where the tool's support files lie.
fs::path programFolder() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::current_path() : self.parent_path();
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

std::optional<std::string> to1252(const std::string& nativePath, const char* what) {
  std::optional<std::string> converted = utf8To1252(nativePath);
  if (!converted) std::cerr << "Der Pfad " << nativePath << " (" << what << ") ist in Windows-1252 nicht darstellbar.\n";
  return converted;
}

}  // namespace

int runBuild(const Args& args) {
  const std::optional<BuildArgs> parsed = parseBuildArgs(args);
  if (!parsed) {
    std::cerr << kUsage;
    return 1;
  }
  const Project project = loadProjectFromPath(parsed->project);
  // The picture is read first: a picture that cannot be used stops the build before anything
  // is written.
  const IconBitmap icon =
      renderIconBitmap(parsed->icon ? loadPictureFile(*parsed->icon) : standardIconPicture());
  if (project.email.empty()) {
    showOnStandardError(exe::kEmailMissing);
    return 1;
  }
  PageFolder folder;
  if (folder.path().empty()) {
    std::cerr << "Kein tempor\xC3\xA4rer Ordner f\xC3\xBCr die Formularseite.\n";
    return 1;
  }
  const FileWriteResult page = writeFormPage(folder.path(), project.fields, project.email);
  if (!page) std::cerr << utf8From1252(kPageWriteFailedMessage) << " (" << page.reason << ")\n";

  const std::string nativePrototype =
      parsed->prototype ? *parsed->prototype : (programFolder() / "ProtoExe.dat").string();
  const auto prototype = to1252(nativePrototype, "Vorlage");
  const auto output = to1252(parsed->output, "Ausgabe");
  const auto pagePath = to1252((folder.path() / std::string(kFormPageFileName)).string(), "Formularseite");
  if (!prototype || !output || !pagePath) return 1;

  if (exe::outputExists(*output) && !parsed->force) {
    std::cerr << utf8From1252(exe::kOverwriteQuestion.text) << "\n"
              << "Nichts geschrieben; --force ersetzt die Datei.\n";
    return 1;
  }

  const std::uint32_t iconPos =
      RenderIconPos(nativePrototype, (fs::path(nativePrototype).parent_path() / kIconPatternFileName).string());

  exe::BuildRequest request;
  request.prototypePath = *prototype;
  request.pagePath = *pagePath;
  request.pageWritten = page.written;
  request.outputPath = *output;
  request.settings = project.settings.value_or(startupSettings());
  const exe::BuildResult result = exe::buildExe(request, showOnStandardError);
  if (!result.built) {
    if (!result.reason.empty()) std::cerr << "(" << result.reason << ")\n";
    return 1;
  }
  WriteIcon(parsed->output, iconPos, icon);
  return 0;
}

}  // namespace vantrel::cli
