// vantrel-cli build PROJECT -o OUT [--target windows|linux] [--proto FILE] [--action URL]
//                  [--survey KEY] [--icon PICTURE] [--force]
//                  [--sign CERTIFICATE [--sign-password-file FILE] [--sign-timestamp URL]]:
// the standalone program of a project, built as the tool's build button builds it, with the
// prototype of the target beside the CLI (ProtoExe.dat for Windows, the default, ProtoLinux.dat
// for Linux) or FILE, the page posting to URL (without it, the build's default address) and the
// icon made from PICTURE (without it, the standard icon). The tool's messages go to standard
// error; no questions are asked, so an existing OUT is replaced only with --force.
// A Windows program is signed with --sign: a PKCS#12 file or a PKCS#11 URI, its password from
// the first line of the password file or typed at the terminal, never from the command line.

#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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
    "[--action URL] [--survey KENNUNG] [--icon BILD] [--force] [--sign ZERTIFIKAT "
    "[--sign-password-file DATEI] [--sign-timestamp URL]]\n";

struct BuildArgs {
  std::string project;
  std::string output;
  std::optional<std::string> target;
  std::optional<std::string> prototype;
  std::optional<std::string> action;
  std::optional<std::string> survey;
  std::optional<std::string> icon;
  bool force = false;
  std::optional<std::string> certificate;
  std::optional<std::string> passwordFile;
  std::optional<std::string> timestampUrl;
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
    } else if (args[i] == "--sign" && !parsed.certificate && i + 1 < args.size()) {
      parsed.certificate = args[++i];
    } else if (args[i] == "--sign-password-file" && !parsed.passwordFile && i + 1 < args.size()) {
      parsed.passwordFile = args[++i];
    } else if (args[i] == "--sign-timestamp" && !parsed.timestampUrl && i + 1 < args.size()) {
      parsed.timestampUrl = args[++i];
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
  if (!parsed.certificate && (parsed.passwordFile || parsed.timestampUrl)) return std::nullopt;
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

// The first line of the password file, without its line end.
std::optional<std::string> passwordFromFile(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::string line;
  if (!in || (!std::getline(in, line) && !in.eof())) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// Typed at the terminal without being shown; nothing when no terminal is there to ask.
std::optional<std::string> passwordFromTerminal(const std::string& certificate) {
  if (!::isatty(STDIN_FILENO)) return std::nullopt;
  termios shown{};
  if (::tcgetattr(STDIN_FILENO, &shown) != 0) return std::nullopt;
  termios hidden = shown;
  hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  std::cerr << "Passwort für " << certificate << ": " << std::flush;
  if (::tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden) != 0) return std::nullopt;
  std::string line;
  const bool read = static_cast<bool>(std::getline(std::cin, line));
  ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &shown);
  std::cerr << "\n";
  if (!read) return std::nullopt;
  return line;
}

// The signing the arguments ask for; nothing after a German message when no password came.
std::optional<exe::SigningJob> signingOf(const BuildArgs& parsed) {
  exe::SigningJob job;
  job.identity.certificate = *parsed.certificate;
  job.identity.timestampUrl = parsed.timestampUrl.value_or(std::string());
  const std::optional<std::string> password = parsed.passwordFile
                                                  ? passwordFromFile(*parsed.passwordFile)
                                                  : passwordFromTerminal(job.identity.certificate);
  if (!password) {
    std::cerr << (parsed.passwordFile
                      ? "Die Passwortdatei " + *parsed.passwordFile + " kann nicht gelesen werden."
                      : std::string("Kein Passwort für die Signatur: Geben Sie "
                                    "--sign-password-file DATEI an."))
              << " Es wurde keine Datei geschrieben.\n";
    return std::nullopt;
  }
  job.password = *password;
  return job;
}

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
  warnOfOwnComputerReceiver(action.value_or(FormMailAddress()));
  std::optional<exe::SigningJob> signing;
  if (parsed->certificate) {
    signing = signingOf(*parsed);
    if (!signing) return 1;
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
  job.signing = signing;

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
