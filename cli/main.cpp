#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>

#include "base/BuildConfig.h"
#include "base/TemporaryFiles.h"
#include "base/UserMessages.h"
#include "cli/Commands.h"

namespace vantrel::cli {

int runConvert(const Args& args);
int runZlb(const Args& args);
int runPage(const Args& args);
int runBuild(const Args& args);
int runIcon(const Args& args);

namespace {

// Commands join this table as they are built.
constexpr Command kCommands[] = {
    {"convert",
     "convert EIN AUS   wandelt zwischen .vtq und .json (AUS \"-\": JSON auf die Standardausgabe)",
     runConvert},
    {"zlb", "zlb create|list|test|extract ...   packt, listet, prüft und entpackt ZLB-Archive",
     runZlb},
    {"page",
     "page PROJEKT [-o DATEI] [--action URL] [--survey KENNUNG]   schreibt die Formularseite des "
     "Projekts (ohne -o "
     "auf die Standardausgabe)",
     runPage},
    {"build",
     "build PROJEKT -o AUSGABE [--target windows|linux] [--proto DATEI] [--action URL] "
     "[--survey KENNUNG] [--icon BILD] [--force] [--sign ZERTIFIKAT [--sign-password-file "
     "DATEI] [--sign-timestamp URL]]   erstellt das eigenständige Programm des Projekts "
     "(Windows, wenn nicht anders gesagt), mit --sign signiert (PKCS#12-Datei oder "
     "PKCS#11-URI; das Passwort aus der Datei oder vom Terminal)",
     runBuild},
    {"icon",
     "icon (BILD | --standard) -o DATEI.bmp   schreibt das Icon aus einem Bild (bmp, ico, wmf, "
     "emf, jpg, gif, png) wie theicon.bmp",
     runIcon},
    {nullptr, nullptr, nullptr},
};

void printHelp(std::ostream& out) {
  out << "vantrel-cli: Vantrel Formulare ohne Fenster\n\n"
         "Aufruf: vantrel-cli BEFEHL [ARGUMENTE...]\n\n"
         "Befehle:\n";
  for (const auto& command : kCommands) {
    if (command.name) out << "  " << command.usage << "\n";
  }
  out << "  --help    zeigt diese Hilfe\n"
         "  --version zeigt die Version\n";
}

}  // namespace
}  // namespace vantrel::cli

int main(int argc, char** argv) {
  using namespace vantrel::cli;
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    printHelp(std::cout);
    return argc < 2 ? 1 : 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::cout << "vantrel-cli " << vantrel::kVersion << "\n";
    return 0;
  }
  // A build or an archive stopped with Ctrl+C, kill or a closed terminal leaves no half-written
  // temporaries behind.
  vantrel::removeTemporariesOnStopSignals();
  const std::string word = argv[1];
  for (const auto& command : kCommands) {
    if (command.name && word == command.name) {
      try {
        return command.run(Args(argv + 2, argv + argc));
      } catch (const std::exception& error) {
        std::cerr << vantrel::germanMessage(error) << "\n";
        return 1;
      }
    }
  }
  std::cerr << "Unbekannter Befehl: " << word << "\n";
  printHelp(std::cerr);
  return 1;
}
