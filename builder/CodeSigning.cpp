#include "builder/CodeSigning.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <system_error>

#include "base/ConverterProcess.h"
#include "base/FailureKinds.h"

namespace vantrel::exe {
namespace {

namespace fs = std::filesystem;

// Signing with a time stamp asks a server on the network; a signer that takes longer than this
// is stopped, and the build fails rather than wait for ever.
constexpr std::chrono::seconds kSigningTimeLimit{180};
// osslsigncode says little on its standard output; more is not kept.
constexpr std::size_t kSignerOutputLimit = 1u << 20;
// The PKCS#11 module that reaches every token p11-kit knows, unless the URI names its own.
constexpr std::string_view kDefaultPkcs11Module = "p11-kit-proxy.so";

fs::path signerOnPath() {
  const char* path = std::getenv("PATH");
  std::string_view rest = path ? path : "/usr/bin:/bin";
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    const std::string_view folder = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    if (folder.empty()) continue;
    const fs::path candidate = fs::path(folder) / "osslsigncode";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

// The module a PKCS#11 URI names in its query ("?module-path=..."), else p11-kit's proxy.
std::string pkcs11Module(std::string_view uri) {
  constexpr std::string_view kKey = "module-path=";
  const std::size_t query = uri.find('?');
  if (query == std::string_view::npos) return std::string(kDefaultPkcs11Module);
  std::string_view attributes = uri.substr(query + 1);
  while (!attributes.empty()) {
    const std::size_t end = attributes.find('&');
    const std::string_view attribute = attributes.substr(0, end);
    if (attribute.substr(0, kKey.size()) == kKey) return std::string(attribute.substr(kKey.size()));
    attributes = end == std::string_view::npos ? std::string_view() : attributes.substr(end + 1);
  }
  return std::string(kDefaultPkcs11Module);
}

Failure signingFailure(std::string why) {
  return failure(BuildFailure::SigningFailed, std::move(why));
}

}  // namespace

bool isPkcs11Uri(std::string_view certificate) {
  constexpr std::string_view kScheme = "pkcs11:";
  if (certificate.size() < kScheme.size()) return false;
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    const char c = certificate[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kScheme[i]) return false;
  }
  return true;
}

std::vector<std::string> signerArguments(const SigningIdentity& identity,
                                         const fs::path& unsignedProgram,
                                         const fs::path& signedProgram) {
  std::vector<std::string> arguments = {"sign"};
  if (isPkcs11Uri(identity.certificate)) {
    // The certificate and its key are the same object on the token.
    arguments.insert(arguments.end(),
                     {"-pkcs11module", pkcs11Module(identity.certificate), "-pkcs11cert",
                      identity.certificate, "-key", identity.certificate});
  } else {
    arguments.insert(arguments.end(), {"-pkcs12", identity.certificate});
  }
  arguments.insert(arguments.end(), {"-readpass", "-", "-h", "sha256"});
  if (!identity.timestampUrl.empty())
    arguments.insert(arguments.end(), {"-ts", identity.timestampUrl});
  arguments.insert(arguments.end(),
                   {"-in", unsignedProgram.string(), "-out", signedProgram.string()});
  return arguments;
}

Status signProgram(const SigningJob& job, const fs::path& unsignedProgram,
                   const fs::path& signedProgram) {
  std::error_code ignored;
  fs::remove(signedProgram, ignored);
  const fs::path signer = job.signer.empty() ? signerOnPath() : job.signer;
  if (signer.empty()) return failure(BuildFailure::SignerMissing);
  if (job.identity.certificate.empty()) return signingFailure("no certificate chosen");
  const ConverterRun run =
      runConverter(signer, signerArguments(job.identity, unsignedProgram, signedProgram),
                   job.password + "\n", {kSigningTimeLimit, kSignerOutputLimit});
  if (run.end == ConverterEnd::Exited && run.exitStatus == 0 && fs::is_regular_file(signedProgram))
    return {};
  fs::remove(signedProgram, ignored);
  switch (run.end) {
    case ConverterEnd::NotStarted:
      return signingFailure("osslsigncode cannot be started");
    case ConverterEnd::TimedOut:
      return signingFailure("osslsigncode took too long");
    case ConverterEnd::Exited:
      return failure(BuildFailure::SigningRefused, job.identity.certificate);
    case ConverterEnd::Crashed:
    case ConverterEnd::TooMuchOutput:
    case ConverterEnd::OutputLost:
      break;
  }
  return signingFailure("osslsigncode failed");
}

}  // namespace vantrel::exe
