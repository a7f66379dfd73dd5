// The status vector of one connection: every client call made for the
// connection, its statements and its cursors goes through it (they are used by
// one thread at a time, so one vector serves them all and nothing is
// allocated per call).
#pragma once

#include <string>
#include <type_traits>

#include "driver/FailureDetails.h"
#include "fbdrv/ClientLibrary.h"

namespace tolvane::fbdrv {

class ServerStatus {
 public:
  explicit ServerStatus(const ClientLibrary& client);
  ~ServerStatus();
  ServerStatus(const ServerStatus&) = delete;
  ServerStatus& operator=(const ServerStatus&) = delete;

  // Runs one client call with a clean vector; throws DriverFailure (65) with
  // the server's text and details when it reports an error.
  template <typename Call>
  auto Checked(Call&& call) {
    wrapper_.init();
    if constexpr (std::is_void_v<decltype(call(&wrapper_))>) {
      call(&wrapper_);
      ThrowIfFailed();
    } else {
      auto result = call(&wrapper_);
      ThrowIfFailed();
      return result;
    }
  }

  // Runs a client call whose failure is not reported (clean-up paths);
  // returns whether it succeeded.
  template <typename Call>
  bool Quiet(Call&& call) noexcept {
    wrapper_.init();
    call(&wrapper_);
    const bool ok = !Failed();
    wrapper_.init();
    return ok;
  }

  // The server's messages as isql shows them: one per line, every line after
  // the first starting with "-", then a line "SQLSTATE = xxxxx".
  std::string Text() const;
  // The first error code, the SQLSTATE and whether the attachment is gone.
  DriverFailureDetails Details() const;

 private:
  bool Failed() const noexcept;
  void ThrowIfFailed();

  const ClientLibrary& client_;
  Firebird::IStatus* status_;
  Firebird::CheckStatusWrapper wrapper_;
};

}  // namespace tolvane::fbdrv
