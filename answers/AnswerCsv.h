#pragma once
// The CSV of `vantrel-formmail export`, written and read back: UTF-8 with a byte order mark, ";"
// or "," between fields, every text quoted with its quotes doubled (RFC 4180), CR LF between
// records, line breaks inside answers kept as they were posted. Spreadsheet programs offer tab,
// comma and semicolon as separators at once, so a text left bare would be split at whichever of
// them it holds. The first column is the time of receipt in UTC, bare so that it is read as a
// time, then one column per field name.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/FileIo.h"

namespace vantrel::answers {

inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
// German spreadsheet programs read this header; the reader knows an export by it.
inline constexpr std::string_view kReceivedColumn = "Eingang (UTC)";

// One field, quoted only when it needs to be (the time of receipt).
[[nodiscard]] std::string csvField(std::string_view value, char separator);
// One text, always quoted.
[[nodiscard]] std::string csvText(std::string_view value);
// Texts joined by the separator, each quoted, ended by CR LF (the header).
[[nodiscard]] std::string csvRecord(const std::vector<std::string>& texts, char separator);
// One answer: the time of receipt as `csvField`, then the texts quoted, ended by CR LF.
[[nodiscard]] std::string csvAnswerRecord(std::string_view csvTime,
                                          const std::vector<std::string>& texts, char separator);

// "2026-12-07T17:20:05Z" as spreadsheet programs read a time: "2026-12-07 17:20:05"; and back.
// Anything of another shape stays as it is.
[[nodiscard]] std::string csvTimeFromUtc(std::string_view receivedUtc);
[[nodiscard]] std::string utcFromCsvTime(std::string_view csvTime);

// Reads the records of a CSV file one at a time, holding one record at most (and a record is
// cut off, as broken, beyond `largestRecord` bytes).
class CsvRecordReader {
 public:
  CsvRecordReader(File& file, char separator, std::uint64_t largestRecord)
      : file_(file), separator_(separator), largestRecord_(largestRecord) {}

  enum class Outcome { record, end, tooLarge, readError };
  [[nodiscard]] Outcome next(std::vector<std::string>& fields);
  [[nodiscard]] std::uint64_t bytesRead() const { return bytesRead_; }
  [[nodiscard]] std::uint64_t recordNumber() const { return records_; }  // 1 for the header

 private:
  [[nodiscard]] bool nextByte(char& byte);
  File& file_;
  char separator_;
  std::uint64_t largestRecord_;
  std::string buffer_;
  std::size_t at_ = 0;
  std::uint64_t bytesRead_ = 0;
  std::uint64_t records_ = 0;
  bool failed_ = false;
};

}  // namespace vantrel::answers
