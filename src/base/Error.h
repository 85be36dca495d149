#pragma once
// The program's own error: raised where an operation "raises an error", caught only by the
// application's error box. The message is UTF-8 text, shown as it stands.

#include <stdexcept>
#include <string>

class EInstallerError : public std::runtime_error {
 public:
  explicit EInstallerError(const std::string& Message) : std::runtime_error(Message) {}
  std::string Message() const { return what(); }
};
