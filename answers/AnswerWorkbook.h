#pragma once
// Answers as an Excel workbook (.xlsx), for spreadsheet programs: one sheet, the header row bold
// and frozen, the time of receipt a real date-time cell in local time, every answer a text cell
// (never a number or a formula, whatever it starts with), columns as wide as their texts within
// bounds. Written row by row, so memory stays flat however many answers there are, into a new
// file that replaces the target only when it is whole.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/AtomicFile.h"
#include "base/Result.h"

namespace vantrel::answers {

// The header of the first column; the cells below it are in the reader's local time.
inline constexpr std::string_view kWorkbookReceivedColumn = "Eingang (Ortszeit)";
// A cell holds at most this many characters; a longer answer is cut there (CSV and JSON keep it).
inline constexpr std::size_t kLongestWorkbookText = 32767;

// "2026-12-07T17:20:05Z" as the local time of this computer, in its parts; false for any other
// shape or a time the calendar cannot hold.
struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
[[nodiscard]] bool localTimeOfUtc(std::string_view receivedUtc, LocalTime& local);

class AnswerWorkbook {
 public:
  // `names` are the captions of the columns after the time of receipt.
  [[nodiscard]] static Result<AnswerWorkbook> begin(const std::filesystem::path& target,
                                                    const std::vector<std::string>& names);
  AnswerWorkbook(AnswerWorkbook&&) noexcept;
  AnswerWorkbook& operator=(AnswerWorkbook&&) noexcept;
  ~AnswerWorkbook();

  // One answer: the time of receipt in UTC, then one text per column (UTF-8).
  [[nodiscard]] Status addRow(std::string_view receivedUtc, const std::vector<std::string>& cells);
  // Finishes the workbook and renames it over the target.
  [[nodiscard]] Status commit();
  [[nodiscard]] std::uint64_t textsCut() const;

 private:
  struct State;
  explicit AnswerWorkbook(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace vantrel::answers
