#pragma once
// The table of "Auswertung" as a CSV file in the dialect of `vantrel-formmail export`
// (AnswerCsv.h), so the file opens in the same spreadsheet programs and reads back as answers,
// and as an Excel workbook like the export's (AnswerWorkbook.h).

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/Result.h"

namespace vantrel::answers {

// Fills the row `index` of the table: the time of receipt in UTC ("2026-12-07T17:20:05Z") and
// one cell per name. The rows are asked for one at a time, so the table is never copied whole.
using TableRowFiller = std::function<void(std::size_t index, std::string& receivedUtc,
                                          std::vector<std::string>& cells)>;

// `names` are the field columns' internal names. Both are written through the atomic writer:
// a failed write leaves an existing file as it was.
[[nodiscard]] Status writeAnswerTableCsv(const std::filesystem::path& file,
                                         const std::vector<std::string>& names, std::size_t rows,
                                         const TableRowFiller& fill);
[[nodiscard]] Status writeAnswerTableWorkbook(const std::filesystem::path& file,
                                              const std::vector<std::string>& names,
                                              std::size_t rows, const TableRowFiller& fill);

}  // namespace vantrel::answers
