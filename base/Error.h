#pragma once
// The one base of every exception this program raises. Exceptions are kept for the failures
// that the program's own components raise as such (input/output errors of the project file,
// archive errors, ...); everything else reports through Result (base/Result.h).

#include <stdexcept>

namespace vantrel {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace vantrel
