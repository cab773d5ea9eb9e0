#pragma once
// The table of "Auswertung" as a CSV file in the dialect of `vantrel-formmail export`
// (AnswerCsv.h): so the file opens in the same spreadsheet programs and reads back as answers.

#include <filesystem>
#include <string>
#include <vector>

#include "base/Result.h"

namespace vantrel::answers {

// `names` are the field columns' internal names; each row holds the time of receipt in UTC
// ("2026-12-07T17:20:05Z") and then one cell per name. Written through the atomic writer: a
// failed write leaves an existing file as it was.
[[nodiscard]] Status writeAnswerTableCsv(const std::filesystem::path& file,
                                         const std::vector<std::string>& names,
                                         const std::vector<std::vector<std::string>>& rows);

}  // namespace vantrel::answers
