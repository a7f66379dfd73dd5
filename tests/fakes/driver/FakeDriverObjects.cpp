// The fake driver's five interfaces and its entry function. Each operation
// logs one line, then does what the script says: by default it succeeds and
// fills its out values from the thread's settings.
#include <atomic>
#include <cstring>
#include <string>

#include "FakeDriverState.h"

#ifndef FAKEDRV_ENTRY
#error "FAKEDRV_ENTRY names the entry function of this copy"
#endif
#define FAKEDRV_STRINGIFY2(x) #x
#define FAKEDRV_STRINGIFY(x) FAKEDRV_STRINGIFY2(x)

namespace tolvane::testing::fakedrv {
namespace {

using tolvane::DriverResult;
using tolvane::OptionValue;

std::string Text(const char* text) { return text != nullptr ? text : "(null)"; }

const char* ConnectionOptionName(tolvane::ConnectionOption id) {
  switch (id) {
    case tolvane::coAutoCommit: return "coAutoCommit";
    case tolvane::coBlockingMode: return "coBlockingMode";
    case tolvane::coBlobSize: return "coBlobSize";
    case tolvane::coRoleName: return "coRoleName";
    case tolvane::coWaitOnLocks: return "coWaitOnLocks";
    case tolvane::coCommitRetain: return "coCommitRetain";
    case tolvane::coTransIsolation: return "coTransIsolation";
    case tolvane::coTraceCallback: return "coTraceCallback";
    case tolvane::coHostName: return "coHostName";
    case tolvane::coTraceClientData: return "coTraceClientData";
    case tolvane::coMaxActiveStatements: return "coMaxActiveStatements";
    case tolvane::coServerCharSet: return "coServerCharSet";
    case tolvane::coSqlDialect: return "coSqlDialect";
    case tolvane::coOSAuthentication: return "coOSAuthentication";
    case tolvane::coMultipleTransaction: return "coMultipleTransaction";
    case tolvane::coServerPort: return "coServerPort";
    case tolvane::coTrimChar: return "coTrimChar";
    case tolvane::coCustomString: return "coCustomString";
    case tolvane::coConnectionTimeout: return "coConnectionTimeout";
    case tolvane::coLockTimeout: return "coLockTimeout";
    case tolvane::coDdlOwnTransaction: return "coDdlOwnTransaction";
    case tolvane::coFetchLimit: return "coFetchLimit";
    case tolvane::coPrepareOnly: return "coPrepareOnly";
    case tolvane::coTransactionStatements: return "coTransactionStatements";
    case tolvane::coAttachment: return "coAttachment";
  }
  return "co?";
}

bool IsTextOption(tolvane::ConnectionOption id) {
  return id == tolvane::coRoleName || id == tolvane::coHostName ||
         id == tolvane::coServerCharSet || id == tolvane::coServerPort ||
         id == tolvane::coCustomString;
}

const char* MetaDataOptionName(tolvane::MetaDataOption id) {
  switch (id) {
    case tolvane::moUserName: return "moUserName";
    case tolvane::moTransactionsSupported: return "moTransactionsSupported";
    case tolvane::moQuoteChar: return "moQuoteChar";
    case tolvane::moMultipleTransactionsSupported: return "moMultipleTransactionsSupported";
  }
  return "mo?";
}

bool ContainsSelect(const char* sql) {
  if (sql == nullptr) return false;
  std::string lower(sql);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower.find("select") != std::string::npos;
}

// Reference counting, the live count of the interface and the release line.
template <class Base, Interface kKind>
class Counted : public Base {
 public:
  explicit Counted(const char* name) : name_(name) { CountLive(kKind, 1); }
  std::uint32_t AddRef() noexcept override { return ++references_; }
  std::uint32_t Release() noexcept override {
    Record(std::string("Release ") + name_);
    std::uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ~Counted() override { CountLive(kKind, -1); }

 private:
  const char* name_;
  std::atomic<std::uint32_t> references_{1};
};

// An object that keeps the text of its last scripted failure.
class ErrorText {
 protected:
  DriverResult Fail(const Outcome& outcome) {
    if (outcome.code != 0) text_ = outcome.error_text;
    return outcome.code;
  }
  DriverResult Length(std::int16_t* length) {
    Outcome outcome = Record("GetErrorTextLength");
    if (outcome.code != 0) return Fail(outcome);
    *length = static_cast<std::int16_t>(text_.size());
    return 0;
  }
  DriverResult Copy(char* buffer) {
    Outcome outcome = Record("GetErrorText");
    if (outcome.code != 0) return Fail(outcome);
    std::memcpy(buffer, text_.c_str(), text_.size() + 1);
    return 0;
  }

 private:
  std::string text_;
};

class FakeCursor : public Counted<tolvane::ISQLRowCursor, Interface::kCursor> {
 public:
  FakeCursor() : Counted("ISQLRowCursor") {}
};

class FakeStatement : public Counted<tolvane::ISQLStatement, Interface::kStatement>,
                      private ErrorText {
 public:
  FakeStatement() : Counted("ISQLStatement") {}

  DriverResult SetStatementOption(tolvane::StatementOption id, OptionValue value) noexcept override {
    std::string name = id == tolvane::soRowsetSize ? "soRowsetSize" : "so?";
    return Fail(Record("SetStatementOption " + name + "=" + std::to_string(value)));
  }
  DriverResult ExecuteSqlText(const char* sql, tolvane::ISQLRowCursor** cursor) noexcept override {
    Outcome outcome = Record("ExecuteSqlText sql=" + Text(sql));
    if (outcome.code != 0) return Fail(outcome);
    *cursor = ThreadSettings().cursor_for_select && ContainsSelect(sql) ? new FakeCursor : nullptr;
    return 0;
  }
  DriverResult GetAffectedRowCount(std::uint32_t* rows) noexcept override {
    Outcome outcome = Record("GetAffectedRowCount");
    if (outcome.code != 0) return Fail(outcome);
    *rows = ThreadSettings().affected_rows;
    return 0;
  }
  DriverResult CloseStatement() noexcept override { return Fail(Record("CloseStatement")); }
  DriverResult GetErrorText(char* buffer) noexcept override { return Copy(buffer); }
  DriverResult GetErrorTextLength(std::int16_t* length) noexcept override { return Length(length); }
};

class FakeMetaData : public Counted<tolvane::ISQLMetaData, Interface::kMetaData> {
 public:
  FakeMetaData() : Counted("ISQLMetaData") {}

  DriverResult SetMetaDataOption(tolvane::MetaDataOption id, OptionValue value) noexcept override {
    std::string shown = id == tolvane::moUserName
                            ? Text(reinterpret_cast<const char*>(value))
                            : std::to_string(value);
    return Record(std::string("SetMetaDataOption ") + MetaDataOptionName(id) + "=" + shown).code;
  }
  DriverResult GetMetaDataOption(tolvane::MetaDataOption id, void* buffer,
                                 std::int16_t buffer_length,
                                 std::int16_t* length) noexcept override {
    Outcome outcome = Record(std::string("GetMetaDataOption ") + MetaDataOptionName(id));
    if (outcome.code != 0) return outcome.code;
    const Settings& settings = ThreadSettings();
    switch (id) {
      case tolvane::moQuoteChar:
        if (buffer_length < 1) return tolvane::kDriverInvalidParameter;
        *static_cast<char*>(buffer) = settings.quote_char;
        *length = 1;
        return 0;
      case tolvane::moTransactionsSupported:
      case tolvane::moMultipleTransactionsSupported: {
        if (buffer_length < 4) return tolvane::kDriverInvalidParameter;
        std::int32_t value = id == tolvane::moTransactionsSupported
                                 ? settings.transactions_supported
                                 : settings.multiple_transactions;
        std::memcpy(buffer, &value, 4);
        *length = 4;
        return 0;
      }
      default:
        return tolvane::kDriverNotSupported;
    }
  }
};

class FakeConnection : public Counted<tolvane::ISQLConnection, Interface::kConnection>,
                       private ErrorText {
 public:
  FakeConnection() : Counted("ISQLConnection"), number_(NextConnectionNumber()) {}

  DriverResult AttachDatabase(const char* database, const char* user_name,
                              const char* password) noexcept override {
    return Fail(Record("AttachDatabase db=" + Text(database) + " user=" + Text(user_name) +
                       " password=" + Text(password)));
  }
  DriverResult DetachDatabase() noexcept override {
    return Fail(Record("DetachDatabase connection=" + std::to_string(number_)));
  }
  DriverResult CreateCommand(tolvane::ISQLStatement** statement) noexcept override {
    Outcome outcome = Record("CreateCommand connection=" + std::to_string(number_));
    if (outcome.code != 0) return Fail(outcome);
    *statement = new FakeStatement;
    return 0;
  }
  DriverResult CreateMetaData(tolvane::ISQLMetaData** meta_data) noexcept override {
    Outcome outcome = Record("CreateMetaData");
    if (outcome.code != 0) return Fail(outcome);
    *meta_data = new FakeMetaData;
    return 0;
  }
  DriverResult SetConnectionOption(tolvane::ConnectionOption id,
                                   OptionValue value) noexcept override {
    std::string shown = IsTextOption(id) ? Text(reinterpret_cast<const char*>(value))
                                         : std::to_string(value);
    return Fail(
        Record(std::string("SetConnectionOption ") + ConnectionOptionName(id) + "=" + shown));
  }
  DriverResult GetConnectionOption(tolvane::ConnectionOption id, void* buffer,
                                   std::int16_t buffer_length,
                                   std::int16_t* length) noexcept override {
    Outcome outcome = Record(std::string("GetConnectionOption ") + ConnectionOptionName(id));
    if (outcome.code != 0) return Fail(outcome);
    if (id != tolvane::coMaxActiveStatements) return tolvane::kDriverNotSupported;
    if (buffer_length < 4) return tolvane::kDriverInvalidParameter;
    std::uint32_t value = ThreadSettings().max_active_statements;
    std::memcpy(buffer, &value, 4);
    *length = 4;
    return 0;
  }
  DriverResult GetErrorText(char* buffer) noexcept override { return Copy(buffer); }
  DriverResult GetErrorTextLength(std::int16_t* length) noexcept override { return Length(length); }

 private:
  int number_;
};

class FakeDriverObject : public Counted<tolvane::ISQLDriver, Interface::kDriver> {
 public:
  FakeDriverObject() : Counted("ISQLDriver") {}

  DriverResult CreateConnection(tolvane::ISQLConnection** connection) noexcept override {
    Outcome outcome = Record("CreateConnection");
    if (outcome.code != 0) return outcome.code;
    *connection = new FakeConnection;
    return 0;
  }
};

}  // namespace
}  // namespace tolvane::testing::fakedrv

extern "C" FAKEDRV_API tolvane::DriverResult FAKEDRV_ENTRY(const char* vendor_lib,
                                                           const char* error_resource_file,
                                                           tolvane::ISQLDriver** driver) {
  fakedrv::Outcome outcome =
      fakedrv::Record(std::string(FAKEDRV_STRINGIFY(FAKEDRV_ENTRY)) + " vendor=" +
                      fakedrv::Text(vendor_lib) + " errors=" + fakedrv::Text(error_resource_file));
  if (outcome.code != 0) return outcome.code;
  *driver = new fakedrv::FakeDriverObject;
  return 0;
}
