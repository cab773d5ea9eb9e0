// Fuzzes the reading of answers: the mbox splitter, the search of one mail for the part
// "antwort.json" (headers, nested multiparts, transfer encodings) and the JSON of the part.
// Beyond "no crash, no leak":
//  - the splitter gives the same mails however the stream is cut, each within the size limit
//    and at a rising offset inside the stream;
//  - a mail read as an answer, written as JSON again, reads back to the same answer, and so
//    does any JSON the parser takes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "answers/Answer.h"
#include "answers/MailPart.h"
#include "answers/Mbox.h"

using namespace vantrel::answers;

namespace {

// Small, so that the fuzzer reaches the limit with small inputs.
constexpr std::uint64_t kLargestMail = 2048;

void require(bool condition) {
  if (!condition) std::abort();
}

bool sameAnswer(const Answer& a, const Answer& b) {
  return a.formId == b.formId && a.survey == b.survey && a.receivedUtc == b.receivedUtc &&
         a.fields == b.fields && a.required == b.required;
}

void checkJsonRoundTrip(const Answer& answer) {
  const auto again = parseAnswerJson(answerJson(answer));
  require(again.ok() && sameAnswer(again.value(), answer));
}

struct Split {
  std::vector<std::string> mails;
  std::vector<std::uint64_t> offsets;
  int tooLarge = 0;
};

Split split(std::string_view stream, std::size_t piece) {
  Split out;
  MboxSplitter splitter(kLargestMail, [&](std::string_view mail, std::uint64_t offset, bool large) {
    require(mail.size() <= kLargestMail);
    require(offset < stream.size());
    require(out.offsets.empty() || offset > out.offsets.back());
    out.offsets.push_back(offset);
    if (large) {
      require(mail.empty());
      ++out.tooLarge;
    }
    out.mails.emplace_back(mail);
  });
  for (std::size_t at = 0; at < stream.size(); at += piece) splitter.feed(stream.substr(at, piece));
  splitter.finish();
  return out;
}

void checkMail(std::string_view mail) {
  const MailAnswer read = answerInMail(mail);
  if (read.kind == MailKind::broken)
    require(read.failure.kind.area == vantrel::FailureArea::Answers);
  if (read.kind == MailKind::answer) checkJsonRoundTrip(read.answer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  checkMail(bytes);

  const auto json = parseAnswerJson(bytes);
  if (json.ok()) checkJsonRoundTrip(json.value());

  const Split whole = split(bytes, bytes.size() + 1);
  const Split pieces = split(bytes, 1 + (size > 0 ? data[0] % 13 : 0));
  require(whole.mails == pieces.mails && whole.offsets == pieces.offsets &&
          whole.tooLarge == pieces.tooLarge);
  for (const std::string& mail : whole.mails) checkMail(mail);
  return 0;
}
