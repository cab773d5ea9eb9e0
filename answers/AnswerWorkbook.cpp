#include "answers/AnswerWorkbook.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <ctime>

#include "base/FailureKinds.h"

namespace vantrel::answers {
namespace {

// Column widths in characters of the standard font: wide enough for a short answer, never so
// wide that one long answer pushes the others out of sight.
constexpr double kNarrowestColumn = 8;
constexpr double kWidestColumn = 60;
constexpr double kTimeColumnWidth = 20;

Failure workbookFailure(lxw_error error) {
  return failure(AnswerFailure::WorkbookNotWritten, lxw_strerror(error));
}

// The characters of the first line, which is what a cell shows without wrapping.
double shownWidth(std::string_view text) {
  text = text.substr(0, text.find_first_of("\r\n"));
  return static_cast<double>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;  // not a UTF-8 continuation byte
  }));
}

// At most kLongestWorkbookText bytes, not ending inside a UTF-8 sequence.
std::string_view cutToCell(std::string_view text) {
  if (text.size() <= kLongestWorkbookText) return text;
  std::size_t end = kLongestWorkbookText;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

// Whether `text` holds the workbook's escape of one character ("_x000D_") at `at`.
bool escapeAt(std::string_view text, std::size_t at) {
  if (at + 7 > text.size() || text.compare(at, 2, "_x") != 0 || text[at + 6] != '_') return false;
  return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(at) + 2,
                     text.begin() + static_cast<std::ptrdiff_t>(at) + 6,
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

// A cell breaks its lines at LF alone; the CR of a browser's CR LF would be written as an escape
// that only some programs read back. A text that looks like such an escape has its "_" escaped
// itself, or spreadsheets would show the character it names instead of what was typed.
void setCellText(std::string& cell, std::string_view text) {
  cell.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') continue;
      cell += '\n';
    } else if (escapeAt(text, i)) {
      cell += "_x005F_";
    } else {
      cell += text[i];
    }
  }
}

bool isDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int numberAt(std::string_view text, std::size_t at, std::size_t length) {
  int value = 0;
  for (const char c : text.substr(at, length)) value = value * 10 + (c - '0');
  return value;
}

}  // namespace

bool localTimeOfUtc(std::string_view utc, LocalTime& local) {
  if (utc.size() != 20 || utc[4] != '-' || utc[7] != '-' || utc[10] != 'T' || utc[13] != ':' ||
      utc[16] != ':' || utc[19] != 'Z')
    return false;
  for (const auto& [at, length] : {std::pair{0, 4}, {5, 2}, {8, 2}, {11, 2}, {14, 2}, {17, 2}}) {
    if (!isDigits(utc.substr(at, length))) return false;
  }
  std::tm parts{};
  parts.tm_year = numberAt(utc, 0, 4) - 1900;
  parts.tm_mon = numberAt(utc, 5, 2) - 1;
  parts.tm_mday = numberAt(utc, 8, 2);
  parts.tm_hour = numberAt(utc, 11, 2);
  parts.tm_min = numberAt(utc, 14, 2);
  parts.tm_sec = numberAt(utc, 17, 2);
  if (parts.tm_mon > 11 || parts.tm_mday < 1 || parts.tm_mday > 31 || parts.tm_hour > 23 ||
      parts.tm_min > 59 || parts.tm_sec > 60)
    return false;
  const std::time_t when = ::timegm(&parts);
  std::tm shown{};
  if (when == static_cast<std::time_t>(-1) || !::localtime_r(&when, &shown)) return false;
  local = {shown.tm_year + 1900, shown.tm_mon + 1, shown.tm_mday,
           shown.tm_hour,        shown.tm_min,     shown.tm_sec};
  // The spreadsheet's calendar begins in 1900 and ends in 9999.
  return local.year >= 1900 && local.year <= 9999;
}

struct AnswerWorkbook::State {
  explicit State(AtomicFile pending) : file(std::move(pending)) {}
  ~State() {
    // A workbook that is not committed is dropped unwritten; the new file goes with `file`.
    if (workbook) lxw_workbook_free(workbook);
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  AtomicFile file;
  lxw_workbook* workbook = nullptr;
  lxw_worksheet* sheet = nullptr;
  lxw_format* header = nullptr;
  lxw_format* time = nullptr;
  lxw_format* text = nullptr;
  std::vector<double> widths;
  lxw_row_t row = 0;
  std::uint64_t textsCut = 0;
};

AnswerWorkbook::AnswerWorkbook(std::unique_ptr<State> state) : state_(std::move(state)) {}
AnswerWorkbook::AnswerWorkbook(AnswerWorkbook&&) noexcept = default;
AnswerWorkbook& AnswerWorkbook::operator=(AnswerWorkbook&&) noexcept = default;
AnswerWorkbook::~AnswerWorkbook() = default;

Result<AnswerWorkbook> AnswerWorkbook::begin(const std::filesystem::path& target,
                                             const std::vector<std::string>& names) {
  if (names.size() + 1 > LXW_COL_MAX)
    return workbookFailure(LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE);
  Result<AtomicFile> file = AtomicFile::begin(target);
  if (!file) return file.failure();
  auto state = std::make_unique<State>(std::move(file).value());
  // Row by row into temporary files: a hundred thousand answers never sit in memory at once.
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  options.use_zip64 = LXW_TRUE;
  std::string pending = state->file.pendingPath().string();
  state->workbook = workbook_new_opt(pending.c_str(), &options);
  if (!state->workbook) return workbookFailure(LXW_ERROR_MEMORY_MALLOC_FAILED);
  state->sheet = workbook_add_worksheet(state->workbook, "Antworten");
  state->header = workbook_add_format(state->workbook);
  state->time = workbook_add_format(state->workbook);
  state->text = workbook_add_format(state->workbook);
  if (!state->sheet || !state->header || !state->time || !state->text)
    return workbookFailure(LXW_ERROR_MEMORY_MALLOC_FAILED);
  format_set_bold(state->header);
  format_set_num_format(state->time, "dd.mm.yyyy hh:mm:ss");
  format_set_num_format(state->text, "@");  // typed-over cells stay text as well
  worksheet_freeze_panes(state->sheet, 1, 0);
  lxw_error written = worksheet_write_string(
      state->sheet, 0, 0, std::string(kWorkbookReceivedColumn).c_str(), state->header);
  state->widths.push_back(kTimeColumnWidth);
  std::string name;
  for (std::size_t i = 0; i < names.size() && written == LXW_NO_ERROR; ++i) {
    setCellText(name, cutToCell(names[i]));
    written = worksheet_write_string(state->sheet, 0, static_cast<lxw_col_t>(i + 1), name.c_str(),
                                     state->header);
    state->widths.push_back(shownWidth(name) + 2);  // the bold header is a little wider
  }
  if (written != LXW_NO_ERROR) return workbookFailure(written);
  state->row = 1;
  return AnswerWorkbook(std::move(state));
}

Status AnswerWorkbook::addRow(std::string_view receivedUtc, const std::vector<std::string>& cells) {
  State& s = *state_;
  if (s.row >= LXW_ROW_MAX) return workbookFailure(LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE);
  LocalTime local;
  lxw_error written = LXW_NO_ERROR;
  if (localTimeOfUtc(receivedUtc, local)) {
    lxw_datetime time{local.year, local.month,  local.day,
                      local.hour, local.minute, static_cast<double>(local.second)};
    written = worksheet_write_datetime(s.sheet, s.row, 0, &time, s.time);
  } else {
    written = worksheet_write_string(s.sheet, s.row, 0, std::string(receivedUtc).c_str(), s.text);
  }
  std::string cell;
  for (std::size_t i = 0; i < cells.size() && i + 1 < s.widths.size(); ++i) {
    if (written != LXW_NO_ERROR) break;
    if (cells[i].empty()) continue;
    const std::string_view kept = cutToCell(cells[i]);
    if (kept.size() < cells[i].size()) ++s.textsCut;
    setCellText(cell, kept);
    written =
        worksheet_write_string(s.sheet, s.row, static_cast<lxw_col_t>(i + 1), cell.c_str(), s.text);
    s.widths[i + 1] = std::max(s.widths[i + 1], shownWidth(kept));
  }
  if (written != LXW_NO_ERROR) return workbookFailure(written);
  ++s.row;
  return {};
}

Status AnswerWorkbook::commit() {
  State& s = *state_;
  for (std::size_t i = 0; i < s.widths.size(); ++i) {
    const double width = std::clamp(s.widths[i] + 1, kNarrowestColumn, kWidestColumn);
    const auto column = static_cast<lxw_col_t>(i);
    (void)worksheet_set_column(s.sheet, column, column, width, i == 0 ? s.time : s.text);
  }
  const lxw_error closed = workbook_close(s.workbook);
  s.workbook = nullptr;  // closed frees it, whatever the outcome
  if (closed != LXW_NO_ERROR) return workbookFailure(closed);
  return s.file.commit();
}

std::uint64_t AnswerWorkbook::textsCut() const { return state_->textsCut; }

}  // namespace vantrel::answers
