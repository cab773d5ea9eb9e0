#pragma once
// Signing a built Windows program (Authenticode, SHA-256) with osslsigncode, so that Windows
// names its publisher instead of warning of an unknown one. The certificate is a PKCS#12 file
// or, for a certificate kept on a hardware token, a PKCS#11 URI ("pkcs11:..."). The password
// reaches osslsigncode on its standard input, never on a command line, where any user of the
// machine could read it.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"

namespace vantrel::exe {

struct SigningIdentity {
  std::string certificate;   // a PKCS#12 file's path or a PKCS#11 URI
  std::string timestampUrl;  // empty: no time stamp
  bool operator==(const SigningIdentity&) const = default;
};

struct SigningJob {
  SigningIdentity identity;
  std::string password;          // of the PKCS#12 file, or the token's PIN
  std::filesystem::path signer;  // empty: osslsigncode found on PATH
};

// Whether the certificate names a PKCS#11 object rather than a file.
[[nodiscard]] bool isPkcs11Uri(std::string_view certificate);

// osslsigncode's arguments that sign `unsignedProgram` into `signedProgram`, the password read
// from standard input.
[[nodiscard]] std::vector<std::string> signerArguments(const SigningIdentity& identity,
                                                       const std::filesystem::path& unsignedProgram,
                                                       const std::filesystem::path& signedProgram);

// Signs `unsignedProgram` into the new file `signedProgram`. On failure `signedProgram` does not
// exist. Failures: SignerMissing, SigningRefused (osslsigncode said no), SigningFailed.
[[nodiscard]] Status signProgram(const SigningJob& job,
                                 const std::filesystem::path& unsignedProgram,
                                 const std::filesystem::path& signedProgram);

}  // namespace vantrel::exe
