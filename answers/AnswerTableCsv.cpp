#include "answers/AnswerTableCsv.h"

#include "answers/AnswerCsv.h"
#include "answers/AnswerWorkbook.h"
#include "base/AtomicFile.h"

namespace vantrel::answers {
namespace {

constexpr char kSeparator = ';';
// A table of 100,000 answers goes out in pieces of this size, never whole.
constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

}  // namespace

Status writeAnswerTableCsv(const std::filesystem::path& file, const std::vector<std::string>& names,
                           std::size_t rows, const TableRowFiller& fill) {
  Result<AtomicFile> begun = AtomicFile::begin(file);
  if (!begun) return begun.status();
  AtomicFile& out = begun.value();
  std::vector<std::string> header{std::string(kReceivedColumn)};
  header.insert(header.end(), names.begin(), names.end());
  std::string text(kUtf8ByteOrderMark);
  text += csvRecord(header, kSeparator);
  std::string time;
  std::vector<std::string> cells;
  for (std::size_t row = 0; row < rows; ++row) {
    fill(row, time, cells);
    text += csvAnswerRecord(csvTimeFromUtc(time), cells, kSeparator);
    if (text.size() < kPieceBytes) continue;
    if (Status written = out.write(text); !written) return written;
    text.clear();
  }
  if (Status written = out.write(text); !written) return written;
  return out.commit();
}

Status writeAnswerTableWorkbook(const std::filesystem::path& file,
                                const std::vector<std::string>& names, std::size_t rows,
                                const TableRowFiller& fill) {
  Result<AnswerWorkbook> begun = AnswerWorkbook::begin(file, names);
  if (!begun) return begun.status();
  AnswerWorkbook& workbook = begun.value();
  std::string time;
  std::vector<std::string> cells;
  for (std::size_t row = 0; row < rows; ++row) {
    fill(row, time, cells);
    if (Status added = workbook.addRow(time, cells); !added) return added;
  }
  return workbook.commit();
}

}  // namespace vantrel::answers
