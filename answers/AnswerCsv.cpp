#include "answers/AnswerCsv.h"

namespace vantrel::answers {
namespace {

constexpr std::size_t kReadChunk = 1 << 16;

bool hasShape(std::string_view text, std::string_view shape) {
  if (text.size() != shape.size()) return false;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (shape[i] == '9' ? !digit : text[i] != shape[i]) return false;
  }
  return true;
}

}  // namespace

std::string csvText(std::string_view value) {
  std::string quoted = "\"";
  quoted.reserve(value.size() + 2);
  for (const char c : value) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string csvField(std::string_view value, char separator) {
  if (value.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string_view::npos)
    return std::string(value);
  return csvText(value);
}

std::string csvRecord(const std::vector<std::string>& texts, char separator) {
  std::string record;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) record += separator;
    record += csvText(texts[i]);
  }
  return record + "\r\n";
}

std::string csvAnswerRecord(std::string_view csvTime, const std::vector<std::string>& texts,
                            char separator) {
  std::string record = csvField(csvTime, separator);
  for (const std::string& text : texts) {
    record += separator;
    record += csvText(text);
  }
  return record + "\r\n";
}

std::string csvTimeFromUtc(std::string_view receivedUtc) {
  if (!hasShape(receivedUtc, "9999-99-99T99:99:99Z")) return std::string(receivedUtc);
  std::string time(receivedUtc.substr(0, 19));
  time[10] = ' ';
  return time;
}

std::string utcFromCsvTime(std::string_view csvTime) {
  if (!hasShape(csvTime, "9999-99-99 99:99:99")) return std::string(csvTime);
  std::string time(csvTime);
  time[10] = 'T';
  return time + 'Z';
}

bool CsvRecordReader::nextByte(char& byte) {
  if (at_ == buffer_.size()) {
    buffer_.resize(kReadChunk);
    const std::int64_t got = file_.read(buffer_.data(), buffer_.size());
    if (got < 0) failed_ = true;
    buffer_.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    at_ = 0;
    if (buffer_.empty()) return false;
  }
  byte = buffer_[at_++];
  ++bytesRead_;
  return true;
}

CsvRecordReader::Outcome CsvRecordReader::next(std::vector<std::string>& fields) {
  fields.clear();
  std::string field;
  std::uint64_t size = 0;
  bool quoted = false;
  bool any = false;
  char c = 0;
  while (nextByte(c)) {
    any = true;
    if (++size > largestRecord_) return Outcome::tooLarge;
    if (quoted) {
      if (c != '"') {
        field += c;
        continue;
      }
      char after = 0;
      if (!nextByte(after)) break;
      if (after == '"') {
        field += '"';
        continue;
      }
      quoted = false;
      c = after;  // the byte after a closing quote is read as outside the quotes
    }
    if (c == '"' && field.empty()) {
      quoted = true;
    } else if (c == separator_) {
      fields.push_back(std::move(field));
      field.clear();
    } else if (c == '\n') {
      if (!field.empty() && field.back() == '\r') field.pop_back();
      fields.push_back(std::move(field));
      ++records_;
      return Outcome::record;
    } else {
      field += c;
    }
  }
  if (failed_) return Outcome::readError;
  if (!any) return Outcome::end;
  fields.push_back(std::move(field));
  ++records_;
  return Outcome::record;
}

}  // namespace vantrel::answers
