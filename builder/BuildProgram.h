#pragma once
// The whole build of a standalone program, as the tool's "Go!" and `vantrel-cli build` run it:
//   1. no e-mail address      -> kEmailMissing; stop
//      a form-mail address that is not usable -> its failure in German, "Fehler"; stop (no page
//      is written)
//   2. the page "formular.htm" is written into the page folder (a failure is reported through
//      onPageWritten and makes step 5 fail)
//   3. the icon's place in the prototype is searched when it is not known yet
//   4. the output name from the text as typed; empty -> kOutputNameMissing; stop.
//      An existing output is replaced only when kOverwriteQuestion is answered kIdYes.
//   5. the program is assembled with its icon (buildExe); then `show` gets the messages of how
//      it ended (buildMessages): a failed step's own, then exactly one closing message
// Starting the program afterwards is the caller's choice.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "base/Result.h"
#include "builder/ExeAssembly.h"
#include "icon/IconBitmap.h"
#include "page/FormPage.h"
#include "project/FieldList.h"

namespace vantrel::exe {

struct BuildJob {
  FieldList fields;
  std::string email;                    // Windows-1252
  std::string action;                   // the user's form-mail address as typed; empty: the default
  ProjectSettings settings;             // width and height as typed
  std::string outputText;               // the output name as typed, the file system's bytes
  std::filesystem::path supportFolder;  // holds "ProtoExe.dat" and "iconcomp.dat"
  std::filesystem::path prototype;      // empty: supportFolder / "ProtoExe.dat"
  std::filesystem::path pageFolder;     // where "formular.htm" is written
  bool temporaryPage = false;           // the caller removes the page afterwards: no sync
  IconBitmap icon;
  std::uint32_t iconPos = 0;                         // 0: not known yet, searched in step 3
  std::filesystem::path tempFolder;                  // empty: the system's temporary folder
  std::optional<SigningJob> signing = std::nullopt;  // nothing: the program is not signed
};

struct BuildCallbacks {
  ShowMessage show;                      // required
  std::function<void()> onEmailMissing;  // after kEmailMissing was shown
  std::function<void(const Status& page)> onPageWritten;
};

// A struct rather than a Result: a build can stop in several ways the caller tells apart, and
// the icon's position is kept for the next build whatever the outcome.
struct [[nodiscard]] ProgramBuild {
  enum class Outcome {
    built,
    emailMissing,
    actionRefused,
    outputNameMissing,
    overwriteDeclined,
    failed
  };
  Outcome outcome = Outcome::failed;
  std::filesystem::path output;
  std::uint32_t iconPos = 0;  // as known after step 3, for the next build
  Status icon;                // whether the icon reached the program (built only)
  Failure failure;            // why the assembly failed

  [[nodiscard]] bool built() const { return outcome == Outcome::built; }
};

[[nodiscard]] ProgramBuild buildProgram(const BuildJob& job, const BuildCallbacks& callbacks);

}  // namespace vantrel::exe
