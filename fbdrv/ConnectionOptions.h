// What a connection has been told through SetConnectionOption.
#pragma once

#include <cstdint>
#include <string>

#include "driver/SqlDriver.h"

namespace tolvane::fbdrv {

enum class Isolation { kReadCommitted, kSnapshot };

struct ConnectionOptions {
  bool auto_commit = true;
  bool commit_retain = false;
  bool wait_on_locks = true;
  Isolation isolation = Isolation::kReadCommitted;
  int sql_dialect = 3;
  int connection_timeout = -1;  // seconds, 0 = the client's own limit; -1: the driver's default
  int lock_timeout = -1;       // seconds, 0 = no limit; -1: the process's default
  int blob_size = -1;          // kept for the layer; this driver never fetches data
  // An attachment someone else holds, to run on instead of attaching; 0: none.
  std::uintptr_t attachment = 0;
  std::string role_name;
  std::string host_name;
  std::string server_port;
  std::string server_char_set;
  // The script options (ScriptOptions.cpp).
  bool ddl_own_transaction = false;
  int fetch_limit = 0;  // 0 = all
  bool prepare_only = false;
  bool transaction_statements = false;
};

// One SetConnectionOption. Throws DriverFailure: 5 for an option or value the
// driver does not support, 9 for a value out of range.
void SetOption(ConnectionOptions& options, ConnectionOption id, OptionValue value);
// The script options among SetConnectionOption's: false when id is none of
// them. Throws DriverFailure 9 for a value out of range.
bool SetScriptOption(ConnectionOptions& options, ConnectionOption id, OptionValue value);
bool GetScriptOption(const ConnectionOptions& options, ConnectionOption id, std::int32_t* value);
// One GetConnectionOption; `lock_timeout` is the one in force. Throws
// DriverFailure: 5 for an option that cannot be read, 9 for a short buffer.
void GetOption(const ConnectionOptions& options, int lock_timeout, ConnectionOption id,
               void* buffer, std::int16_t buffer_length, std::int16_t* length);

}  // namespace tolvane::fbdrv
