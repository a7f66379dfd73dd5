// Loads the driver library the way the connection layer does and gives the
// tests short ways to attach, run SQL and read error texts.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "driver/DriverRef.h"
#include "driver/FailureDetails.h"
#include "driver/SqlDriver.h"

namespace tolvane::fbdrv::testing {

inline constexpr char kClientLibrary[] = "libfbclient.so.2";

template <typename T>
using Held = tolvane::DriverRef<T>;

TolvaneDriverEntry DriverEntry();
Held<tolvane::ISQLDriver> LoadDriver();

template <typename T>
std::string ErrorText(T* object) {
  std::int16_t length = 0;
  if (object->GetErrorTextLength(&length) != 0 || length <= 0) return {};
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
  object->GetErrorText(buffer.data());
  return buffer.data();
}

// The details record after the error text's NUL, when there is one.
template <typename T>
std::optional<tolvane::DriverFailureDetails> FailureDetails(T* object) {
  std::int16_t length = 0;
  if (object->GetErrorTextLength(&length) != 0 || length <= 0) return std::nullopt;
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
  object->GetErrorText(buffer.data());
  const std::size_t text = std::strlen(buffer.data());
  if (text >= static_cast<std::size_t>(length)) return std::nullopt;
  tolvane::DriverFailureDetails details;
  const std::string_view record(buffer.data() + text + 1, static_cast<std::size_t>(length) - text - 1);
  if (!tolvane::DecodeFailureDetails(record, &details)) return std::nullopt;
  return details;
}

struct Option {
  tolvane::ConnectionOption id;
  tolvane::OptionValue value;
};

// An attachment made through the driver.
class Session {
 public:
  // Attaches; `attach_result` receives the code and leaves the session
  // detached when it is not 0.
  Session(const std::string& database, const std::vector<Option>& options = {},
          const char* user = "SYSDBA", const char* password = "");

  tolvane::DriverResult attach_result = 0;
  std::string attach_text;

  struct Outcome {
    tolvane::DriverResult code = 0;
    std::string text;
    std::optional<tolvane::DriverFailureDetails> details;
    std::uint32_t rows = 0;
    Held<tolvane::ISQLRowCursor> cursor;
  };
  // Runs one text the way the layer does: a fresh statement, the row count,
  // CloseStatement when no cursor came back.
  Outcome Run(const std::string& sql);
  // Runs a text that must succeed and returns its row count.
  std::uint32_t Exec(const std::string& sql);
  tolvane::ISQLConnection* Connection() { return connection_.Get(); }

 private:
  Held<tolvane::ISQLDriver> driver_;
  Held<tolvane::ISQLConnection> connection_;
};

}  // namespace tolvane::fbdrv::testing
