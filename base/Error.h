#pragma once
// The one base of every exception this program raises. Exceptions are kept for the failures
// that the program's own components raise as such (input/output errors of the project file,
// archive errors, ...); everything else reports through Result (base/Result.h). An exception
// carries its Failure: what() is the failure's English detail.

#include <stdexcept>
#include <string>

#include "base/Failure.h"

namespace vantrel {

class Error : public std::runtime_error {
 public:
  explicit Error(Failure failure)
      : std::runtime_error(failure.detail), failure_(std::move(failure)) {}

  [[nodiscard]] const Failure& failure() const { return failure_; }

 private:
  Failure failure_;
};

}  // namespace vantrel
