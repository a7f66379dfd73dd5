// The connection layer's own message texts and the driver result texts,
// each written once.
#pragma once

namespace tolvane {

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

// Driver result texts, filled into "Driver Error: %s" by result code.
inline constexpr const char* kSDriverResult1 = "[0x0001]: Warning";
inline constexpr const char* kSDriverResult2 = "[0x0002]: Insufficient Memory for Operation";
inline constexpr const char* kSDriverResult3 = "[0x0003]: Invalid Field Type";
inline constexpr const char* kSDriverResult4 = "[0x0004]: Invalid Handle";
inline constexpr const char* kSDriverResult5 = "[0x0005]: Operation Not Supported";
inline constexpr const char* kSDriverResult6 = "[0x0006]: Invalid Time";
inline constexpr const char* kSDriverResult7 = "[0x0007]: Invalid Data Translation";
inline constexpr const char* kSDriverResult8 = "[0x0008]: Parameter/Column out of Range";
inline constexpr const char* kSDriverResult9 = "[0x0009]: Invalid Parameter";
inline constexpr const char* kSDriverResult10 = "[0x000A]: Result set at EOF";
inline constexpr const char* kSDriverResult11 = "Driver Error [0x000B]: Parameter Not Set";
inline constexpr const char* kSDriverResult12 = "[0x000C] Invalid Username/Password";
inline constexpr const char* kSDriverResult13 = "[0x000D]: Invalid Precision";
inline constexpr const char* kSDriverResult14 = "[0x000E]: Invalid Length";
inline constexpr const char* kSDriverResult15 = "[0x000F]: Invalid Transaction Isolation Level";
inline constexpr const char* kSDriverResult16 = "[0x0010]: Invalid Transaction ID";
inline constexpr const char* kSDriverResult17 = "[0x0011]: Duplicate Transaction ID";
inline constexpr const char* kSDriverResult19 = "[0x0013]: Local Transaction already active";
inline constexpr const char* kSDriverResult20 = "[0x0014]: Multiple Transactions not Enabled";
inline constexpr const char* kSDriverResult21 = "[0x0015]: Connection failed";
inline constexpr const char* kSDriverResult22 = "[0x0016]: Driver initialization failed";
inline constexpr const char* kSDriverResult23 = "[0x0017]: Optimistic Locking failed";
inline constexpr const char* kSDriverResult24 = "[0x0018]: Invalid REF";
inline constexpr const char* kSDriverResult25 = "[0x0019]: No table found";
inline constexpr const char* kSDriverNoMoreData = "[0x0064]: No more data";
inline constexpr const char* kSDriverSqlError = "[0x0065]: SQL Error";
// A code from 1 to 100 without a text of its own; %s is the code in four hex digits.
inline constexpr const char* kSDriverResultUnknown = "[0x%s]: Unknown driver result";

}  // namespace tolvane
