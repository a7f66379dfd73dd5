// The system's exception classes. Every failure above the driver boundary is
// one of these; the message is all that callers use.
#pragma once

#include <exception>
#include <string>

namespace tolvane {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// A file could not be created: "Cannot create file "%s". %s".
class EFCreateError : public Exception {
  using Exception::Exception;
};

// A file could not be written in full: "Stream write error".
class EWriteError : public Exception {
  using Exception::Exception;
};

// An existing file could not be opened for reading: "Cannot open file "%s". %s".
class EFOpenError : public Exception {
  using Exception::Exception;
};

// A registry setting of the wrong type or with unreadable data.
class ERegistryException : public Exception {
  using Exception::Exception;
};

// A text that is not a valid integer: "'%s' is not a valid integer value".
class EConvertError : public Exception {
  using Exception::Exception;
};

// Memory could not be obtained.
class EOutOfMemory : public Exception {
  using Exception::Exception;
};

}  // namespace tolvane
