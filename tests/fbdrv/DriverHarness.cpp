#include "DriverHarness.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <stdexcept>

namespace tolvane::fbdrv::testing {

TolvaneDriverEntry DriverEntry() {
  static TolvaneDriverEntry entry = [] {
    void* library = dlopen(FBDRV_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) throw std::runtime_error(dlerror());
    auto* found = reinterpret_cast<TolvaneDriverEntry>(dlsym(library, "getSQLDriverINTERBASE"));
    if (found == nullptr) throw std::runtime_error("no entry function");
    return found;
  }();
  return entry;
}

Held<tolvane::ISQLDriver> LoadDriver() {
  Held<tolvane::ISQLDriver> driver;
  const tolvane::DriverResult result = DriverEntry()(kClientLibrary, "", driver.Put());
  if (result != 0 || !driver) throw std::runtime_error("driver entry failed");
  return driver;
}

Session::Session(const std::string& database, const std::vector<Option>& options,
                 const char* user, const char* password)
    : driver_(LoadDriver()) {
  if (driver_->CreateConnection(connection_.Put()) != 0) {
    throw std::runtime_error("CreateConnection failed");
  }
  for (const Option& option : options) {
    connection_->SetConnectionOption(option.id, option.value);
  }
  attach_result = connection_->AttachDatabase(database.c_str(), user, password);
  if (attach_result != 0) attach_text = ErrorText(connection_.Get());
}

Session::Outcome Session::Run(const std::string& sql) {
  Outcome outcome;
  Held<tolvane::ISQLStatement> statement;
  outcome.code = connection_->CreateCommand(statement.Put());
  if (outcome.code != 0) {
    outcome.text = ErrorText(connection_.Get());
    return outcome;
  }
  statement->SetStatementOption(tolvane::soRowsetSize, 20);
  outcome.code = statement->ExecuteSqlText(sql.c_str(), outcome.cursor.Put());
  if (outcome.code == 0) outcome.code = statement->GetAffectedRowCount(&outcome.rows);
  if (outcome.code == 0 && !outcome.cursor) statement->CloseStatement();
  if (outcome.code != 0) {
    outcome.text = ErrorText(statement.Get());
    outcome.details = FailureDetails(statement.Get());
  }
  return outcome;
}

std::uint32_t Session::Exec(const std::string& sql) {
  Outcome outcome = Run(sql);
  EXPECT_EQ(outcome.code, 0) << sql << "\n" << outcome.text;
  return outcome.rows;
}

}  // namespace tolvane::fbdrv::testing
