// The contract between the connection layer and a driver library.
//
// Conventions, for every interface below:
//  1. Every operation returns a DriverResult: 0 for success, a non-zero code
//     otherwise (kDriver* below). Out values are filled only on success.
//  2. No operation throws: each is noexcept, and a driver turns every internal
//     failure into a code and keeps a text for GetErrorText.
//  3. Interfaces are reference-counted. An object handed out through an out
//     parameter carries one reference that the receiver owns and releases.
//  4. Text is NUL-terminated 8-bit bytes, passed on without conversion;
//     lengths are signed 16-bit.
//  5. The order of the operations is the contract: operations the layer never
//     calls keep their slots so that both sides agree on the table.
//  6. An object is used by one thread at a time; different objects may be used
//     on different threads at once.
#pragma once

#include <cstdint>

namespace tolvane {

using DriverResult = std::uint16_t;

inline constexpr DriverResult kDriverOk = 0;
inline constexpr DriverResult kDriverOutOfMemory = 2;
inline constexpr DriverResult kDriverInvalidHandle = 4;
inline constexpr DriverResult kDriverNotSupported = 5;
inline constexpr DriverResult kDriverInvalidParameter = 9;
inline constexpr DriverResult kDriverSqlError = 65;

// Connection options (co): set with SetConnectionOption, read with
// GetConnectionOption. Value kinds: bool = 0/1, int = signed 32-bit,
// text = address of a NUL-terminated text (may be null), read = fetched into
// a buffer of the given size.
enum ConnectionOption : std::int32_t {
  coAutoCommit = 0,           // bool
  coBlockingMode = 1,         // bool
  coBlobSize = 2,             // int, -1 = not given
  coRoleName = 3,             // text
  coWaitOnLocks = 4,          // bool
  coCommitRetain = 5,         // bool
  coTransIsolation = 6,       // int: 0 read committed, 1 repeatable read, 2 dirty read
  coTraceCallback = 9,        // routine address, 0 = none
  coHostName = 10,            // text
  coTraceClientData = 12,     // 32-bit, 0 = none
  coMaxActiveStatements = 14, // read, 4 bytes unsigned, 0 = no limit
  coServerCharSet = 15,       // text
  coSqlDialect = 16,          // int
  coOSAuthentication = 20,    // bool
  coMultipleTransaction = 22, // bool
  coServerPort = 23,          // text
  coTrimChar = 25,            // bool
  coCustomString = 31,        // text
  coConnectionTimeout = 32,   // int
  // Extension: seconds a statement waits for a lock, 0 = without a limit.
  // Sent only when a run asks for it; a driver may refuse it.
  coLockTimeout = 64,         // int
  // Extensions for running a script the way isql does; each is sent only
  // when a run asks for it, and a driver may refuse it.
  // With auto-commit off, DDL runs in a transaction of its own, committed at
  // once, and the kept transaction goes on.
  coDdlOwnTransaction = 65,   // bool
  // A statement that returns rows fetches at most this many; 0 = all.
  coFetchLimit = 66,          // int
  // Statements are prepared and never run (COMMIT and ROLLBACK included).
  coPrepareOnly = 67,         // bool
  // With auto-commit off, SET TRANSACTION rolls back the kept transaction and
  // puts the transaction it starts in its place.
  coTransactionStatements = 68, // bool
  // Extension: the address of an attachment the caller already holds, in the
  // client library's own terms (Firebird: Firebird::IAttachment*), 0 = none.
  // AttachDatabase then takes a reference to it instead of attaching (the
  // database, user name and password are not used) and DetachDatabase
  // releases that reference without detaching. Statements run in
  // transactions of their own on it. Sent only when a run asks for it.
  // Read back once attached: the attachment the connection runs on (its own
  // or the one it was handed), for another connection to run on it too.
  coAttachment = 69,          // address; read, sizeof(void*) bytes
};

// Metadata options (mo).
enum MetaDataOption : std::int32_t {
  moUserName = 1,                       // text
  moTransactionsSupported = 5,          // read, 4 bytes, non-zero = yes
  moQuoteChar = 11,                     // read, 1 byte, 0 = none
  moMultipleTransactionsSupported = 15, // read, 4 bytes
};

// Statement options (so).
enum StatementOption : std::int32_t {
  soRowsetSize = 0, // int
};

// An option value: an integer, or the address of a text or routine. Wide
// enough for an address on 64-bit.
using OptionValue = std::intptr_t;

// Reference counting shared by every interface.
class IInterface {
 public:
  virtual std::uint32_t AddRef() noexcept = 0;
  // Drops one reference; the object destroys itself when none is left.
  virtual std::uint32_t Release() noexcept = 0;

 protected:
  // Objects are destroyed only through Release.
  virtual ~IInterface() = default;
};

class ISQLConnection;
class ISQLMetaData;
class ISQLStatement;
class ISQLRowCursor;

class ISQLDriver : public IInterface {
 public:
  virtual DriverResult CreateConnection(ISQLConnection** connection) noexcept = 0;
};

class ISQLConnection : public IInterface {
 public:
  virtual DriverResult AttachDatabase(const char* database, const char* user_name,
                                      const char* password) noexcept = 0;
  // Ends the attachment without a commit.
  virtual DriverResult DetachDatabase() noexcept = 0;
  virtual DriverResult CreateCommand(ISQLStatement** statement) noexcept = 0;
  virtual DriverResult CreateMetaData(ISQLMetaData** meta_data) noexcept = 0;
  virtual DriverResult SetConnectionOption(ConnectionOption id, OptionValue value) noexcept = 0;
  virtual DriverResult GetConnectionOption(ConnectionOption id, void* buffer,
                                           std::int16_t buffer_length,
                                           std::int16_t* length) noexcept = 0;
  // Three slots the layer never calls.
  virtual DriverResult ReservedConnectionSlot7() noexcept { return kDriverNotSupported; }
  virtual DriverResult ReservedConnectionSlot8() noexcept { return kDriverNotSupported; }
  virtual DriverResult ReservedConnectionSlot9() noexcept { return kDriverNotSupported; }
  // Copies the object's last error text, NUL included, into buffer, which
  // holds at least GetErrorTextLength + 1 bytes.
  virtual DriverResult GetErrorText(char* buffer) noexcept = 0;
  virtual DriverResult GetErrorTextLength(std::int16_t* length) noexcept = 0;
};

class ISQLMetaData : public IInterface {
 public:
  virtual DriverResult SetMetaDataOption(MetaDataOption id, OptionValue value) noexcept = 0;
  virtual DriverResult GetMetaDataOption(MetaDataOption id, void* buffer,
                                         std::int16_t buffer_length,
                                         std::int16_t* length) noexcept = 0;
};

class ISQLStatement : public IInterface {
 public:
  virtual DriverResult SetStatementOption(StatementOption id, OptionValue value) noexcept = 0;
  // Five slots the layer never calls.
  virtual DriverResult ReservedStatementSlot2() noexcept { return kDriverNotSupported; }
  virtual DriverResult ReservedStatementSlot3() noexcept { return kDriverNotSupported; }
  virtual DriverResult ReservedStatementSlot4() noexcept { return kDriverNotSupported; }
  virtual DriverResult ReservedStatementSlot5() noexcept { return kDriverNotSupported; }
  virtual DriverResult ReservedStatementSlot6() noexcept { return kDriverNotSupported; }
  // Runs one SQL text. A statement that returns rows hands back a cursor;
  // otherwise *cursor is set to null.
  virtual DriverResult ExecuteSqlText(const char* sql, ISQLRowCursor** cursor) noexcept = 0;
  // One slot the layer never calls.
  virtual DriverResult ReservedStatementSlot8() noexcept { return kDriverNotSupported; }
  virtual DriverResult GetAffectedRowCount(std::uint32_t* rows) noexcept = 0;
  virtual DriverResult CloseStatement() noexcept = 0;
  virtual DriverResult GetErrorText(char* buffer) noexcept = 0;
  virtual DriverResult GetErrorTextLength(std::int16_t* length) noexcept = 0;
  // Extension: runs a SQL text that returns rows, in the transaction
  // ExecuteSqlText would use, and copies its first row into buffer: for each
  // column a byte ('V' a value, 'N' NULL), the value as text, a zero byte.
  // *length: the bytes written, or -1 when there is no row. A row that does
  // not fit fails with kDriverInvalidParameter.
  virtual DriverResult ExecuteSqlFirstRow(const char*, char*, std::int32_t,
                                          std::int32_t*) noexcept {
    return kDriverNotSupported;
  }
};

// The layer only holds a cursor and releases it.
class ISQLRowCursor : public IInterface {};

}  // namespace tolvane

// The driver entry function that a driver library exports with C linkage,
// under the name the connection layer is given ("getSQLDriverINTERBASE").
// vendor_lib names the database client library the driver is to use;
// error_resource_file may be empty. On success *driver holds one reference.
extern "C" {
typedef tolvane::DriverResult (*TolvaneDriverEntry)(const char* vendor_lib,
                                                     const char* error_resource_file,
                                                     tolvane::ISQLDriver** driver);
}
