#include "answers/AnswerTableCsv.h"

#include "answers/AnswerCsv.h"
#include "base/AtomicFile.h"

namespace vantrel::answers {
namespace {

constexpr char kSeparator = ';';
// A table of 100,000 answers goes out in pieces of this size, never whole.
constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

}  // namespace

Status writeAnswerTableCsv(const std::filesystem::path& file, const std::vector<std::string>& names,
                           const std::vector<std::vector<std::string>>& rows) {
  Result<AtomicFile> begun = AtomicFile::begin(file);
  if (!begun) return begun.status();
  AtomicFile& out = begun.value();
  std::vector<std::string> header{std::string(kReceivedColumn)};
  header.insert(header.end(), names.begin(), names.end());
  std::string text(kUtf8ByteOrderMark);
  text += csvRecord(header, kSeparator);
  for (const std::vector<std::string>& row : rows) {
    std::vector<std::string> cells = row;
    if (!cells.empty()) cells.front() = csvTimeFromUtc(cells.front());
    text += csvRecord(cells, kSeparator);
    if (text.size() < kPieceBytes) continue;
    if (Status written = out.write(text); !written) return written;
    text.clear();
  }
  if (Status written = out.write(text); !written) return written;
  return out.commit();
}

}  // namespace vantrel::answers
