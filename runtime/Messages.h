// The runtime's own message texts, each written once.
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

}  // namespace tolvane
