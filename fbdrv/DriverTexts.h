// The driver's own error texts; the server's texts are passed on as it sends them.
#pragma once

namespace tolvane::fbdrv::texts {

inline constexpr char kClientLibraryNotLoaded[] = "Cannot load the client library \"%s\": %s";
inline constexpr char kClientFunctionMissing[] = "The client library \"%s\" has no function \"%s\"";
inline constexpr char kNotAttached[] = "The connection is not attached to a database";
inline constexpr char kAlreadyAttached[] = "The connection is already attached to a database";
inline constexpr char kOutOfMemory[] = "Out of memory";
inline constexpr char kOptionNotSupported[] = "Option %d with value %lld is not supported";
inline constexpr char kInvalidParameter[] = "Invalid parameter: %s";
inline constexpr char kUnexpectedFailure[] = "Unexpected failure: %s";
inline constexpr char kUnknownFailure[] = "Unknown failure";
inline constexpr char kSqlStateLine[] = "SQLSTATE = %s";
inline constexpr char kConnectTimedOut[] =
    "No answer from \"%s\" within %d seconds (connect timeout)";
inline constexpr char kCreateDatabaseRefused[] =
    "CREATE DATABASE cannot run in a script: the script runs on a database that is "
    "already open";
inline constexpr char kServerSentNoText[] = "The server reported a failure without a message";

}  // namespace tolvane::fbdrv::texts
