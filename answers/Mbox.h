#pragma once
// Cuts an mbox stream into its mails. A mail begins after a line "From ..." that opens the file
// or follows an empty line; lines of the mail that began with ">From ", ">>From " ... lose one
// ">" (the quoting of mboxrd, which also undoes the plain quoting of older writers). Memory
// stays bounded: a mail over the size limit is only counted, never held, and so is a line of
// any length.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vantrel::answers {

class MboxSplitter {
 public:
  // `offset` is the byte position of the mail's "From " line in the stream; `tooLarge` says the
  // mail was over the limit, and `mail` is then empty.
  using MailHandler =
      std::function<void(std::string_view mail, std::uint64_t offset, bool tooLarge)>;

  MboxSplitter(std::uint64_t largestMail, MailHandler onMail)
      : largestMail_(largestMail), onMail_(std::move(onMail)) {}

  void feed(std::string_view bytes);
  // The last mail, which no further "From " line closes.
  void finish();

 private:
  void takeLine(std::string_view line);
  void appendToMail(std::string_view line);
  void endMail();

  std::uint64_t largestMail_;
  MailHandler onMail_;
  std::string line_;  // the line being read, up to largestMail_ + 1 bytes
  bool lineTooLong_ = false;
  std::string mail_;
  bool inMail_ = false;
  bool mailTooLarge_ = false;
  bool afterEmptyLine_ = true;
  std::uint64_t position_ = 0;   // of the next byte fed
  std::uint64_t lineStart_ = 0;  // of line_
  std::uint64_t mailStart_ = 0;
};

}  // namespace vantrel::answers
