// vantrel-cli icon (PICTURE | --standard) -o FILE.bmp: the icon the tool makes from a picture
// (or its standard icon), written exactly as the tool writes "theicon.bmp".

#include <iostream>
#include <optional>
#include <string>

#include "base/UserMessages.h"
#include "cli/Commands.h"
#include "cli/PictureInput.h"
#include "icon/RenderIcon.h"
#include "icon/StandardIcon.h"

#ifdef VANTREL_CLI_PICTURES
#include <QGuiApplication>

#include "icon/loaders/PictureLoader.h"
#endif

namespace vantrel::cli {
namespace {

constexpr const char* kUsage = "Aufruf: vantrel-cli icon (BILD | --standard) -o DATEI.bmp\n";

struct IconArgs {
  std::optional<std::string> picture;  // none: the standard icon
  std::string output;
};

std::optional<IconArgs> parseIconArgs(const Args& args) {
  IconArgs parsed;
  bool haveSource = false;
  bool haveOutput = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o") {
      if (haveOutput || i + 1 >= args.size()) return std::nullopt;
      parsed.output = args[++i];
      haveOutput = true;
    } else if (args[i] == "--standard" && !haveSource) {
      haveSource = true;
    } else if (!haveSource && !args[i].empty() && args[i][0] != '-') {
      parsed.picture = args[i];
      haveSource = true;
    } else {
      return std::nullopt;
    }
  }
  if (!haveSource || !haveOutput || parsed.output.empty()) return std::nullopt;
  return parsed;
}

}  // namespace

#ifdef VANTREL_CLI_PICTURES
Picture loadPictureFile(const std::filesystem::path& path) {
  // GIF and icon files and metafiles are read through Qt, which needs its application object;
  // no window is ever shown.
  if (QGuiApplication::instance() == nullptr && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  static int argc = 1;
  static char name[] = "vantrel-cli";
  static char* argv[] = {name, nullptr};
  static QGuiApplication application(argc, argv);
  // The loader's reason speaks of "the picture"; the user is told which file it is.
  try {
    return loadPicture(path);
  } catch (const PictureError& error) {
    throw PictureError(unknownFailure(germanMessageAbout(path, error.failure())));
  }
}
#else
Picture loadPictureFile(const std::filesystem::path&) {
  throw PictureError(unknownFailure(
      "Dieses vantrel-cli wurde ohne die Bildlader gebaut (VANTREL_GUI=OFF); nur --standard "
      "ist möglich."));
}
#endif

int runIcon(const Args& args) {
  const std::optional<IconArgs> parsed = parseIconArgs(args);
  if (!parsed) {
    std::cerr << kUsage;
    return 1;
  }
  const Picture picture =
      parsed->picture ? loadPictureFile(*parsed->picture) : standardIconPicture();
  RenderIcon(picture, parsed->output);
  return 0;
}

}  // namespace vantrel::cli
