// What a connection has been told through SetConnectionOption.
#pragma once

#include <string>

namespace tolvane::fbdrv {

enum class Isolation { kReadCommitted, kSnapshot };

struct ConnectionOptions {
  bool auto_commit = true;
  bool commit_retain = false;
  bool wait_on_locks = true;
  Isolation isolation = Isolation::kReadCommitted;
  int sql_dialect = 3;
  int connection_timeout = 0;  // seconds, 0 = the client's default
  int lock_timeout = -1;       // seconds, 0 = no limit; -1: the process's default
  int blob_size = -1;          // kept for the layer; this driver never fetches data
  std::string role_name;
  std::string host_name;
  std::string server_port;
  std::string server_char_set;
};

}  // namespace tolvane::fbdrv
