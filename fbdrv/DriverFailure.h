// The one exception used inside the driver library. Every operation of the
// driver contract catches it (and everything else) and turns it into a
// result code plus the object's error text; nothing crosses the contract.
#pragma once

#include <string>
#include <utility>

#include "driver/FailureDetails.h"
#include "driver/SqlDriver.h"

namespace tolvane::fbdrv {

class DriverFailure {
 public:
  DriverFailure(DriverResult code, std::string text, DriverFailureDetails details = {})
      : code_(code), text_(std::move(text)), details_(std::move(details)) {}
  DriverResult Code() const noexcept { return code_; }
  const std::string& Text() const noexcept { return text_; }
  const DriverFailureDetails& Details() const noexcept { return details_; }

 private:
  DriverResult code_;
  std::string text_;
  DriverFailureDetails details_;
};

// printf-style formatting for the driver's own texts.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tolvane::fbdrv
