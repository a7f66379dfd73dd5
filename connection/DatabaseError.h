// Raising the connection layer's own errors.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "driver/FailureDetails.h"
#include "runtime/Exceptions.h"

namespace tolvane {

class TComponent;

// The connection layer's one exception class. A refused driver call may also
// carry the details its driver handed over (code, SQLSTATE, connection gone);
// the message stays all that the result text uses.
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
  EDatabaseError(std::string message, DriverFailureDetails details)
      : Exception(std::move(message)), details_(std::move(details)) {}
  const DriverFailureDetails& Details() const noexcept { return details_; }

 private:
  DriverFailureDetails details_;
};

// Raises EDatabaseError with message, prefixed by "<Name>: " when a component
// is given and its Name is not empty.
[[noreturn]] void RaiseDatabaseError(const std::string& message, const TComponent* component);

// Fills each "%s" of format with the next argument, then RaiseDatabaseError.
[[noreturn]] void RaiseDatabaseErrorFmt(std::string_view format,
                                        std::initializer_list<std::string_view> args,
                                        const TComponent* component);

}  // namespace tolvane
