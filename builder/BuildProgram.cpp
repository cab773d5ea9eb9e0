#include "builder/BuildProgram.h"

#include "base/FailureKinds.h"
#include "icon/IconPos.h"
#include "page/PageFile.h"

namespace vantrel::exe {
namespace {

// A prototype without icon pixels has no icon to replace: nothing is lost then.
Status iconStatus(WriteIconResult written) {
  if (written == WriteIconResult::Written || written == WriteIconResult::NoIconPos) return {};
  return failure(BuildFailure::IconNotWritten);
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

  if (!job.action.empty() && !isUsableFormMailAddress(job.action)) {
    callbacks.show(kActionRefused);
    build.outcome = ProgramBuild::Outcome::actionRefused;
    return build;
  }
  const Status page = writeFormPage(job.pageFolder, job.fields, job.email,
                                    job.action.empty() ? formMailAction() : job.action);
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
  const BuildResult result = buildExe(request);
  for (const BuildMessage& message : buildMessages(result)) callbacks.show(message);
  build.reason = result.reason;
  // A failed build leaves the user's old file (or nothing): it gets no icon.
  if (!result.built) return build;
  build.outcome = ProgramBuild::Outcome::built;
  build.icon = iconStatus(WriteIcon(build.output, build.iconPos, job.icon));
  return build;
}

}  // namespace vantrel::exe
