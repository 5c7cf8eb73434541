// The module's error classes. Failures inside the module are raised as an
// `Exception` carrying its message text; `EAccessViolation` is the subclass
// for memory-access faults, the only class that the image walk catches.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace rotavue {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

class EAccessViolation : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace rotavue
