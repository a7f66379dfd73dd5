// What the Firebird server this process hosts says of itself: its folders and
// its firebird.conf settings. A seam of its own beside the platform's, so
// that tests give a server of their own and fail its answers.
//
// Each operation is safe to call from several threads at once. None throws;
// an answer that cannot be had comes back empty (-1 for a number).
#pragma once

#include <memory>
#include <string>

namespace tolvane {

class Platform;

enum class FirebirdFolder {
  kRoot,     // the server's root
  kConfig,   // where it reads firebird.conf and databases.conf
  kSecurity, // the default folder of the security database
};

class FirebirdConfig {
 public:
  virtual ~FirebirdConfig() = default;

  // A folder of the server (its own root, not a fixed path), with no
  // trailing separator; empty when no Firebird library is in the process.
  virtual std::string Directory(FirebirdFolder folder) = 0;
  // A firebird.conf setting as the server reads it (for instance
  // "SecurityDatabase"); empty when unknown.
  virtual std::string Setting(const std::string& name) = 0;
  // A numeric firebird.conf setting (for instance "RemoteServicePort"); -1
  // when unknown. Never read a numeric setting as text: the library hands
  // back no text for it.
  virtual long long Number(const std::string& name) = 0;
};

// The server's own answers, from the configuration manager of the Firebird
// client library the process already holds (ServerFirebirdConfig.cpp); lives
// for the whole process.
FirebirdConfig& ServerFirebirdConfig();

// The same answers, with the client library looked for through platform.
std::unique_ptr<FirebirdConfig> MakeServerFirebirdConfig(Platform& platform);

}  // namespace tolvane
