#pragma once
// What went wrong, as data. A failure has a kind, which code tells apart and the German texts are
// looked up by, the values the texts name (a path, a number, the system's words), and its English
// detail with the values filled in, for logs, the standard error output and the tests.
//
// Each area of the system has a small enum of kinds. The enum says which area it is by an
// overload of failureArea() and words each kind in English by an overload of englishText(), both
// beside the enum, where argument-dependent lookup finds them. No code decides anything by reading
// a failure's detail.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace vantrel {

enum class FailureArea : std::uint8_t {
  Unknown,  // a failure that only has its words (a library's exception)
  File,
  Project,
  Archive,
  Picture,
  Build,
  Answers,
  Receiver,
  Mailbox,
};

struct FailureKind {
  FailureArea area = FailureArea::Unknown;
  std::uint16_t code = 0;

  bool operator==(const FailureKind&) const = default;
};

template <typename Kind>
constexpr FailureKind kindOf(Kind kind) {
  static_assert(std::is_enum_v<Kind>);
  return {failureArea(kind), static_cast<std::uint16_t>(kind)};
}

struct Failure {
  FailureKind kind;
  std::string detail;               // English, the values filled in
  std::vector<std::string> values;  // in the order of the English text's "%s"
  std::string where;                // the file or mail it happened in, named in front when set

  template <typename Kind>
  [[nodiscard]] bool is(Kind other) const {
    return kind == kindOf(other);
  }
};

// `pattern` with each "%s" replaced by the next value; a "%s" inside a value stays as it is.
std::string filledIn(std::string_view pattern, const std::vector<std::string>& values);

namespace failure_values {
inline std::string text(const std::string& value) { return value; }
inline std::string text(std::string_view value) { return std::string(value); }
inline std::string text(const char* value) { return value; }
inline std::string text(const std::filesystem::path& value) { return value.string(); }
template <typename Number>
requires std::is_arithmetic_v<Number> std::string text(Number value) {
  return std::to_string(value);
}
}  // namespace failure_values

// A failure of `kind`, its English words from englishText(kind) with `values` filled in.
template <typename Kind, typename... Values>
[[nodiscard]] Failure failure(Kind kind, const Values&... values) {
  std::vector<std::string> texts{failure_values::text(values)...};
  std::string detail = filledIn(englishText(kind), texts);
  return Failure{kindOf(kind), std::move(detail), std::move(texts), {}};
}

// `failure` as it happened in `where` (a mail of a folder, a line of a file): named in front.
[[nodiscard]] inline Failure locatedIn(std::string where, Failure failure) {
  failure.detail = where + ": " + failure.detail;
  failure.where = std::move(where);
  return failure;
}

// A failure that only has words: what a library's exception says.
[[nodiscard]] inline Failure unknownFailure(std::string detail) {
  return Failure{FailureKind{}, std::move(detail), {}, {}};
}

}  // namespace vantrel
