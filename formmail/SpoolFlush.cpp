#include "formmail/SpoolFlush.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "formmail/SmtpSender.h"

namespace fs = std::filesystem;

namespace vantrel::formmail {
namespace {

// Spooled mails are whole mails up to the body limit plus headers; anything far larger was
// not put there by us.
constexpr std::uintmax_t kLargestSpooledMail = 128ULL * 1024 * 1024;

std::string withCrLf(const std::string& unix) {
  std::string mail;
  mail.reserve(unix.size() + unix.size() / 40);
  for (std::size_t i = 0; i < unix.size(); ++i) {
    if (unix[i] == '\n' && (i == 0 || unix[i - 1] != '\r')) mail += '\r';
    mail += unix[i];
  }
  return mail;
}

// The recipient is the To: header, which only ever holds the one plain address we wrote.
std::string recipientOf(const std::string& mail) {
  std::istringstream lines(mail);
  std::string line;
  while (std::getline(lines, line) && !line.empty()) {
    if (line.rfind("To: ", 0) == 0) return line.substr(4);
  }
  return {};
}

std::vector<fs::path> spooledFiles(const fs::path& spool) {
  std::vector<fs::path> files;
  std::error_code error;
  for (const char* folder : {"new", "cur"}) {
    for (fs::directory_iterator it(spool / folder, error), end; !error && it != end;
         it.increment(error)) {
      if (it->is_regular_file(error)) files.push_back(it->path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The refused mail keeps its name in <spool>/failed/, beside new/ and cur/.
std::string moveToFailed(const fs::path& file, const fs::path& spool) {
  const fs::path failed = spool / "failed";
  std::error_code error;
  fs::create_directory(failed, error);
  if (!error) fs::permissions(failed, fs::perms::owner_all, error);
  if (!error) fs::rename(file, failed / file.filename(), error);
  return error ? "could not be moved to " + failed.string() + ": " + error.message()
               : "moved to " + (failed / file.filename()).string();
}

}  // namespace

FlushReport flushSpool(const Config& config) {
  FlushReport report;
  if (config.smtp.empty() || config.spool.empty()) {
    report.problems.push_back("nothing to do: smtp and spool must both be set");
    return report;
  }
  SmtpSettings settings;
  settings.url = config.smtp;
  settings.user = config.smtpUser;
  settings.password = config.smtpPassword;
  settings.starttls = config.starttls;

  for (const fs::path& file : spooledFiles(config.spool)) {
    std::error_code error;
    const auto size = fs::file_size(file, error);
    if (error || size > kLargestSpooledMail) {
      report.problems.push_back(file.string() + ": unreadable or too large, left alone");
      continue;
    }
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string recipient = recipientOf(text.str());
    // The allow list may have shrunk since the mail was spooled; it still has the last word.
    if (!isAllowedRecipient(config, recipient)) {
      report.problems.push_back(file.string() + ": recipient '" + recipient +
                                "' is not allowed, left alone");
      continue;
    }
    const SmtpResult sent = sendBySmtp(settings, config.sender, recipient, withCrLf(text.str()));
    if (sent.verdict == SmtpVerdict::Permanent) {
      report.refused.push_back(file.string() + ": refused for good (" + sent.reason + "), " +
                               moveToFailed(file, config.spool));
      continue;
    }
    if (sent.verdict != SmtpVerdict::Sent) {
      report.problems.push_back(file.string() + ": " + sent.reason);
      continue;
    }
    fs::remove(file, error);
    if (error)
      report.problems.push_back(file.string() +
                                ": sent, but could not be removed: " + error.message());
    ++report.sent;
  }
  return report;
}

}  // namespace vantrel::formmail
