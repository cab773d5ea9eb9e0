#pragma once
// The CSV of `vantrel-formmail export`, written and read back: UTF-8 with a byte order mark, ";"
// or "," between fields, RFC 4180 quoting (a field with the separator, a quote or a line break
// is quoted, a quote doubled), CR LF between records, line breaks inside answers kept as they
// were posted. The first column is the time of receipt in UTC, then one column per field name.

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

// One field, quoted when it needs to be.
[[nodiscard]] std::string csvField(std::string_view value, char separator);
// The fields joined by the separator, ended by CR LF.
[[nodiscard]] std::string csvRecord(const std::vector<std::string>& fields, char separator);

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
