// How the tool gives up: one message for standard error and an exit status.
#pragma once

#include <stdexcept>
#include <string>

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Raised inside the tool only; never thrown through the plugin's frames.
class Failure : public std::runtime_error {
 public:
  Failure(int exitCode, const std::string& message)
      : std::runtime_error(message), exitCode_(exitCode) {}
  int ExitCode() const { return exitCode_; }

 private:
  int exitCode_;
};

[[noreturn]] inline void Fail(const std::string& message) {
  throw Failure(kExitFailure, message);
}
[[noreturn]] inline void UsageFail(const std::string& message) {
  throw Failure(kExitUsage, message);
}
