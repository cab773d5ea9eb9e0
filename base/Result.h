#pragma once
// Results that carry the reason of a failure. A caller cannot drop one unnoticed: the types are
// [[nodiscard]], and reading the value of a failure is a programming error caught by assert.

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace vantrel {

// Why something failed, in words a message can show.
struct Failure {
  std::string reason;
};

// Success, or a Failure with its reason.
class [[nodiscard]] Status {
 public:
  Status() = default;  // success
  Status(Failure failure)
      : failed_(true), reason_(std::move(failure.reason)) {}  // NOLINT: implicit by design

  [[nodiscard]] bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  // Empty on success.
  [[nodiscard]] const std::string& reason() const { return reason_; }

 private:
  bool failed_ = false;
  std::string reason_;
};

// A value, or a Failure with its reason.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}            // NOLINT: implicit by design
  Result(Failure failure) : state_(std::move(failure)) {}  // NOLINT: implicit by design

  [[nodiscard]] bool ok() const { return std::holds_alternative<T>(state_); }
  explicit operator bool() const { return ok(); }

  [[nodiscard]] T& value() & {
    assert(ok());
    return std::get<T>(state_);
  }
  [[nodiscard]] const T& value() const& {
    assert(ok());
    return std::get<T>(state_);
  }
  [[nodiscard]] T&& value() && {
    assert(ok());
    return std::get<T>(std::move(state_));
  }
  [[nodiscard]] const std::string& reason() const {
    static const std::string none;
    return ok() ? none : std::get<Failure>(state_).reason;
  }
  [[nodiscard]] Status status() const { return ok() ? Status() : Status(Failure{reason()}); }

 private:
  std::variant<T, Failure> state_;
};

}  // namespace vantrel
