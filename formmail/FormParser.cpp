#include "formmail/FormParser.h"

#include "formmail/ReceiverFailure.h"

namespace vantrel::formmail {
namespace {

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isEscapeAt(std::string_view encoded, std::size_t i) {
  return encoded[i] == '%' && i + 2 < encoded.size() && hexDigitValue(encoded[i + 1]) >= 0 &&
         hexDigitValue(encoded[i + 2]) >= 0;
}

// The decoded length of a piece, without building it, so that an oversized field is refused
// before its bytes are copied.
std::size_t decodedLength(std::string_view encoded) {
  std::size_t length = 0;
  for (std::size_t i = 0; i < encoded.size(); ++i, ++length) {
    if (isEscapeAt(encoded, i)) i += 2;
  }
  return length;
}

}  // namespace

std::string percentDecode(std::string_view encoded) {
  std::string decoded;
  decoded.reserve(encoded.size());
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    const char c = encoded[i];
    if (c == '+') {
      decoded += ' ';
    } else if (isEscapeAt(encoded, i)) {
      decoded +=
          static_cast<char>(hexDigitValue(encoded[i + 1]) * 16 + hexDigitValue(encoded[i + 2]));
      i += 2;
    } else {
      decoded += c;
    }
  }
  return decoded;
}

Result<PostedFields> parseUrlEncoded(std::string_view body, const FormLimits& limits) {
  PostedFields fields;
  std::size_t start = 0;
  while (start <= body.size()) {
    std::size_t end = body.find('&', start);
    if (end == std::string_view::npos) end = body.size();
    const std::string_view piece = body.substr(start, end - start);
    start = end + 1;
    if (piece.empty()) continue;

    if (fields.size() >= limits.maxFields) {
      return failure(ReceiverFailure::TooManyFields, limits.maxFields);
    }
    const std::size_t equals = piece.find('=');
    const std::string_view name = piece.substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view{} : piece.substr(equals + 1);
    if (decodedLength(name) > limits.maxFieldLength ||
        decodedLength(value) > limits.maxFieldLength) {
      return failure(ReceiverFailure::FieldTooLong, limits.maxFieldLength);
    }
    fields.push_back({percentDecode(name), percentDecode(value)});
  }
  return fields;
}

std::vector<std::string_view> valuesOf(const PostedFields& fields, std::string_view name) {
  std::vector<std::string_view> values;
  for (const auto& field : fields) {
    if (field.name == name) values.push_back(field.value);
  }
  return values;
}

std::size_t countOf(const PostedFields& fields, std::string_view name) {
  std::size_t count = 0;
  for (const auto& field : fields) {
    if (field.name == name) ++count;
  }
  return count;
}

}  // namespace vantrel::formmail
