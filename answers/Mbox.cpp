#include "answers/Mbox.h"

#include <algorithm>

namespace vantrel::answers {
namespace {

bool isEmptyLine(std::string_view line) { return line == "\n" || line == "\r\n"; }

// ">From ", ">>From " ...: the quoted form of a body line that began with "From ".
bool isQuotedFromLine(std::string_view line) {
  const std::size_t quotes = line.find_first_not_of('>');
  return quotes != std::string_view::npos && quotes > 0 && line.substr(quotes, 5) == "From ";
}

}  // namespace

void MboxSplitter::feed(std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t newline = bytes.find('\n');
    const std::size_t take = newline == std::string_view::npos ? bytes.size() : newline + 1;
    const std::string_view piece = bytes.substr(0, take);
    if (line_.size() + piece.size() <= largestMail_ + 1) {
      line_ += piece;
    } else {
      // Enough of the line is kept to know whether it starts a mail.
      line_.append(piece.substr(
          0, (largestMail_ + 1) - std::min<std::uint64_t>(line_.size(), largestMail_ + 1)));
      lineTooLong_ = true;
    }
    position_ += take;
    bytes.remove_prefix(take);
    if (newline != std::string_view::npos) {
      takeLine(line_);
      line_.clear();
      lineTooLong_ = false;
      lineStart_ = position_;
    }
  }
}

void MboxSplitter::finish() {
  if (!line_.empty()) takeLine(line_);
  line_.clear();
  if (inMail_) endMail();
}

void MboxSplitter::takeLine(std::string_view line) {
  if (afterEmptyLine_ && line.substr(0, 5) == "From ") {
    if (inMail_) endMail();
    inMail_ = true;
    mailTooLarge_ = false;
    mailStart_ = lineStart_;
    afterEmptyLine_ = false;
    return;
  }
  afterEmptyLine_ = isEmptyLine(line);
  if (!inMail_) return;  // blank lines before the first mail
  if (lineTooLong_) mailTooLarge_ = true;
  appendToMail(isQuotedFromLine(line) ? line.substr(1) : line);
}

void MboxSplitter::appendToMail(std::string_view line) {
  if (mailTooLarge_ || mail_.size() + line.size() > largestMail_) {
    mailTooLarge_ = true;
    mail_.clear();
    return;
  }
  mail_ += line;
}

void MboxSplitter::endMail() {
  // The empty line in front of the next "From " line separates mails; it is not the mail's.
  std::string_view mail = mail_;
  if (mail.ends_with("\r\n\r\n")) {
    mail.remove_suffix(2);
  } else if (mail.ends_with("\n\n")) {
    mail.remove_suffix(1);
  }
  onMail_(mailTooLarge_ ? std::string_view() : mail, mailStart_, mailTooLarge_);
  mail_.clear();
  inMail_ = false;
  mailTooLarge_ = false;
}

}  // namespace vantrel::answers
