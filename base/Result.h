#pragma once
// Results that carry the failure that stopped them (base/Failure.h). A caller cannot drop one
// unnoticed: the types are [[nodiscard]], and reading the value of a failure is a programming
// error caught by assert.

#include <cassert>
#include <string>
#include <utility>
#include <variant>

#include "base/Failure.h"

namespace vantrel {

// Success, or a Failure.
class [[nodiscard]] Status {
 public:
  Status() = default;  // success
  Status(Failure failure)
      : failed_(true), failure_(std::move(failure)) {}  // NOLINT: implicit by design

  [[nodiscard]] bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  // Empty on success.
  [[nodiscard]] const std::string& reason() const { return failure_.detail; }
  [[nodiscard]] const Failure& failure() const {
    assert(!ok());
    return failure_;
  }
  template <typename Kind>
  [[nodiscard]] bool is(Kind kind) const {
    return failed_ && failure_.is(kind);
  }

 private:
  bool failed_ = false;
  Failure failure_;
};

// A value, or a Failure.
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
    return ok() ? none : std::get<Failure>(state_).detail;
  }
  [[nodiscard]] const Failure& failure() const {
    assert(!ok());
    return std::get<Failure>(state_);
  }
  template <typename Kind>
  [[nodiscard]] bool is(Kind kind) const {
    return !ok() && failure().is(kind);
  }
  [[nodiscard]] Status status() const { return ok() ? Status() : Status(failure()); }

 private:
  std::variant<T, Failure> state_;
};

}  // namespace vantrel
