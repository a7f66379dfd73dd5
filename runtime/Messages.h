// The system's own message texts, each written once.
#pragma once

namespace tolvane {

// Runtime.
inline constexpr const char* kSInvalidInteger = "'%s' is not a valid integer value";
inline constexpr const char* kSFCreateError = "Cannot create file \"%s\". %s";
inline constexpr const char* kSFOpenError = "Cannot open file \"%s\". %s";
inline constexpr const char* kSWriteError = "Stream write error";
inline constexpr const char* kSOutOfMemory = "Out of memory";
inline constexpr const char* kSInvalidRegType = "Invalid data type for '%s'";
inline constexpr const char* kSRegGetDataFailed = "Failed to get data for '%s'";

// Connection layer.
inline constexpr const char* kSMissingDriverName = "Missing DriverName property";
inline constexpr const char* kSLibraryNameMissing = "DLL/Shared Library Name not Set";
inline constexpr const char* kSConnectionNameMissing = "Connection name missing";
inline constexpr const char* kSMissingDatabaseName = "Missing Database property";
inline constexpr const char* kSUnableToLoad = "Unable to Load %s";
inline constexpr const char* kSFunctionNotFound = "Unable to Find Procedure %s";
inline constexpr const char* kSCannotConnect = "Cannot connect to database '%s'";
inline constexpr const char* kSConnectionOpen = "Cannot perform this operation on an open connection";
inline constexpr const char* kSRegistryFileNotFound = "Driver/Connection Registry File '%s' not found";

// Driver errors.
inline constexpr const char* kSDriverError = "Driver Error: %s";
inline constexpr const char* kSServerError = "SQL Server Error: %s";
inline constexpr const char* kSUnknownErrorCode = "Driver Error: Unknown Error Code '%s'";

// Script runner.
inline constexpr const char* kSResultOk = "ok";
inline constexpr const char* kSResultSeparator = "   -    ";

}  // namespace tolvane
