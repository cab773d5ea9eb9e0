#include "builder/BuildProgram.h"

#include "base/AtomicFile.h"
#include "base/FailureKinds.h"
#include "base/UserMessages.h"
#include "base/Win1252.h"
#include "icon/IconPos.h"
#include "page/PageFile.h"

namespace vantrel::exe {
namespace {

// A prototype without icon pixels has no icon to replace: nothing is lost then.
Status iconStatus(WriteIconResult written) {
  if (written == WriteIconResult::Written || written == WriteIconResult::NoIconPos) return {};
  return failure(BuildFailure::IconNotWritten);
}

// The build's messages are Windows-1252, as the tool's texts are; every German text is.
void showActionRefused(const Failure& refused, const BuildCallbacks& callbacks) {
  const std::string text = utf8To1252(germanMessage(refused)).value_or(refused.detail);
  callbacks.show(BuildMessage{text, "Fehler", kMbIconError});
}

}  // namespace

ProgramBuild buildProgram(const BuildJob& job, const BuildCallbacks& callbacks) {
  ProgramBuild build;
  build.iconPos = job.iconPos;
  if (job.email.empty()) {
    callbacks.show(kEmailMissing);
    if (callbacks.onEmailMissing) callbacks.onEmailMissing();
    build.outcome = ProgramBuild::Outcome::emailMissing;
    return build;
  }

  const Result<FormMailAddress> action = FormMailAddress::parse(job.action);
  if (!action) {
    showActionRefused(action.failure(), callbacks);
    build.outcome = ProgramBuild::Outcome::actionRefused;
    return build;
  }
  SyncBatch neverSynced;  // a page removed after the build needs no sync
  const Status page = writeFormPage(job.pageFolder, job.fields, job.email, action.value(),
                                    job.temporaryPage ? &neverSynced : nullptr);
  if (callbacks.onPageWritten) callbacks.onPageWritten(page);

  const std::filesystem::path prototype =
      job.prototype.empty() ? job.supportFolder / kPrototypeFileName : job.prototype;
  if (build.iconPos == 0)
    build.iconPos = RenderIconPos(prototype, job.supportFolder / kIconPatternFileName);

  build.output = outputNameFrom(job.outputText);
  if (build.output.empty()) {
    callbacks.show(kOutputNameMissing);
    build.outcome = ProgramBuild::Outcome::outputNameMissing;
    return build;
  }
  if (outputExists(build.output) && callbacks.show(kOverwriteQuestion) != kIdYes) {
    build.outcome = ProgramBuild::Outcome::overwriteDeclined;
    return build;
  }

  BuildRequest request;
  request.prototypePath = prototype;
  request.pagePath = job.pageFolder / kFormPageFileName;
  request.pageWritten = page.ok();
  request.outputPath = build.output;
  request.settings = job.settings;
  request.tempFolder = job.tempFolder;
  request.icon = {build.iconPos, job.icon};
  request.options.signing = job.signing;
  const BuildResult result = buildExe(request);
  for (const BuildMessage& message : buildMessages(result)) callbacks.show(message);
  build.failure = result.failure;
  // A failed build leaves the user's old file (or nothing): there is no icon to speak of.
  if (!result.built) return build;
  build.outcome = ProgramBuild::Outcome::built;
  build.icon = iconStatus(result.assembly.icon);
  return build;
}

}  // namespace vantrel::exe
