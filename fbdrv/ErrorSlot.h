// The last error text of a driver object and the one place where a failure
// of any kind becomes a result code. The text is reported with the failure's
// details after its NUL (driver/FailureDetails.h).
#pragma once

#include <cstdint>
#include <string>

#include "driver/FailureDetails.h"
#include "driver/SqlDriver.h"

namespace tolvane::fbdrv {

class ErrorSlot {
 public:
  // Longest text the contract can report: its lengths are signed 16-bit.
  static constexpr std::size_t kMaxLength = 32767;

  // Runs one operation body: returns 0 when it finishes, otherwise keeps the
  // failure's text and returns its code. Never throws.
  template <typename Body>
  DriverResult Run(Body&& body) noexcept {
    try {
      body();
      return kDriverOk;
    } catch (...) {
      return Keep();
    }
  }

  // Keeps the text and, after a NUL, the details record; the text is cut so
  // that both fit the contract's length. An empty text is kept alone.
  void Set(std::string text, const DriverFailureDetails& details = {}) noexcept;
  DriverResult GetText(char* buffer) const noexcept;
  DriverResult GetLength(std::int16_t* length) const noexcept;

 private:
  // Called inside a catch block: classifies the exception in flight.
  DriverResult Keep() noexcept;

  std::string report_;  // text, NUL, details record
};

}  // namespace tolvane::fbdrv
