#pragma once
// Delivery into a Maildir: the mail is written under tmp/, flushed to disk and only then
// renamed into new/, so a reader never sees half a mail and a stored mail survives a crash.

#include <filesystem>
#include <string>
#include <string_view>

#include "base/Result.h"

namespace vantrel::formmail {

// A name no other delivery on this host uses: time, process, a per-process counter and
// random bits (several processes may share a Maildir, as CGI programs do).
std::string uniqueDeliveryName();

std::string localHostName();

// Creates the Maildir (and its tmp/, new/, cur/) when missing. The stored file's path under
// new/, or the reason for the operator's log.
Result<std::filesystem::path> storeInMaildir(const std::filesystem::path& maildir,
                                             std::string_view mail);

}  // namespace vantrel::formmail
