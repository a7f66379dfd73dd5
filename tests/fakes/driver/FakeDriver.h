// The scripted fake driver library (libfakedrv.so, and a second copy
// libfakedrv2.so with another entry name). A test links the library and uses
// this API; the connection layer loads the same file by its absolute path,
// so both see the same copy.
//
// Every driver operation appends one line to a call log and returns what the
// test scripted (success by default). The log, the script and the settings
// belong to the calling thread, so threads running their own connections
// never mix. Live references are counted process-wide per interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/SqlDriver.h"

// Windows builds mark the exports and imports on the command line.
#ifndef FAKEDRV_API
#define FAKEDRV_API __attribute__((visibility("default")))
#endif

namespace tolvane::testing::fakedrv {

// The entry names of the two copies.
inline constexpr const char* kEntryName = "getSQLDriverINTERBASE";
inline constexpr const char* kSecondEntryName = "getSQLDriverFAKE2";

#ifdef TOLVANE_FAKEDRV_PATH
// Absolute paths of the built copies.
inline constexpr const char* kLibraryPath = TOLVANE_FAKEDRV_PATH;
inline constexpr const char* kSecondLibraryPath = TOLVANE_FAKEDRV2_PATH;
#endif

enum class Interface { kDriver, kConnection, kMetaData, kStatement, kCursor };

// What the driver reports, per thread.
struct Settings {
  std::uint32_t max_active_statements = 0;  // coMaxActiveStatements
  char quote_char = '"';                     // moQuoteChar
  std::int32_t transactions_supported = 1;   // moTransactionsSupported
  std::int32_t multiple_transactions = 0;    // moMultipleTransactionsSupported
  std::uint32_t affected_rows = 1;           // GetAffectedRowCount
  // ExecuteSqlText hands back a cursor when the text contains "select" in
  // any letter case.
  bool cursor_for_select = true;
};

// Empties this thread's log, script and settings and restarts the numbering
// of connections at 1.
FAKEDRV_API void Reset();

// This thread's log, one line per operation, oldest first.
FAKEDRV_API std::vector<std::string> Log();
FAKEDRV_API void ClearLog();

FAKEDRV_API Settings& ThreadSettings();

// Makes the occurrence-th call (1-based; 0 = every call) whose log line
// starts with prefix return code. The object called keeps error_text as its
// own error text (GetErrorText), or clears it when error_text is empty.
FAKEDRV_API void FailCall(const std::string& prefix, int occurrence, tolvane::DriverResult code,
                          const std::string& error_text = "");

// Objects of that interface alive right now, in the whole process.
FAKEDRV_API int LiveReferences(Interface kind);
FAKEDRV_API int LiveTotal();

}  // namespace tolvane::testing::fakedrv

// The short name the tests use.
namespace fakedrv = tolvane::testing::fakedrv;
