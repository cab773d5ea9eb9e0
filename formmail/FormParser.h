#pragma once
// Reads an application/x-www-form-urlencoded body into its fields, in the order they were
// sent. Names and values stay bytes (the pages post Windows-1252); nothing is converted here.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"
#include "formmail/Limits.h"

namespace vantrel::formmail {

struct FormFieldValue {
  std::string name;
  std::string value;

  bool operator==(const FormFieldValue&) const = default;
};

using PostedFields = std::vector<FormFieldValue>;

struct FormLimits {
  std::size_t maxFields = kMaxFields.byDefault;
  std::size_t maxFieldLength = kMaxFieldLength.byDefault;  // decoded bytes, name and value each
};

// '+' stands for a blank and "%XY" for the byte XY. A '%' that is not followed by two hex
// digits is kept as it is, as browsers send it for a literal percent sign only encoded, so
// a lone one can only come from a hand-made post and is harmless as text.
std::string percentDecode(std::string_view encoded);

// Empty pieces ("a=1&&b=2") are skipped; a piece without '=' is a name with an empty value.
// A post beyond the limits gives no fields at all, only the failure:
// ReceiverFailure::TooManyFields or ReceiverFailure::FieldTooLong.
Result<PostedFields> parseUrlEncoded(std::string_view body, const FormLimits& limits);

// Every value posted under a name, in post order.
std::vector<std::string_view> valuesOf(const PostedFields& fields, std::string_view name);
std::size_t countOf(const PostedFields& fields, std::string_view name);

}  // namespace vantrel::formmail
