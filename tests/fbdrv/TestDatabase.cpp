#include "TestDatabase.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <vector>

namespace tolvane::fbdrv::testing {
namespace {

void Check(const ISC_STATUS* status, const std::string& what) {
  if (status[0] != 1 || status[1] == 0) return;
  std::string text = what + ":";
  char line[512];
  const ISC_STATUS* cursor = status;
  while (fb_interpret(line, sizeof line, &cursor) > 0) text += std::string(" ") + line;
  throw std::runtime_error(text);
}

// A parameter block with dialect 3, the login and the extra items given.
std::vector<char> Parameters(const std::string& user, const std::string& password,
                             std::initializer_list<char> extra) {
  std::vector<char> dpb{isc_dpb_version1, isc_dpb_sql_dialect, 1, 3};
  for (char byte : extra) dpb.push_back(byte);
  auto add = [&](char item, const std::string& value) {
    if (value.empty()) return;
    dpb.push_back(item);
    dpb.push_back(static_cast<char>(value.size()));
    dpb.insert(dpb.end(), value.begin(), value.end());
  };
  add(isc_dpb_user_name, user);
  add(isc_dpb_password, password);
  return dpb;
}

void Start(isc_db_handle* db, isc_tr_handle* transaction) {
  ISC_STATUS_ARRAY status;
  static char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed,
                       isc_tpb_rec_version, isc_tpb_nowait};
  struct {
    isc_db_handle* db;
    long length;
    char* tpb;
  } block{db, sizeof tpb, tpb};
  *transaction = 0;
  isc_start_multiple(status, transaction, 1, &block);
  Check(status, "start transaction");
}

}  // namespace

TestFolder::TestFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "fbdrv-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TestFolder::~TestFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void CreateDatabase(const std::string& path, const std::string& user,
                    const std::string& password) {
  ISC_STATUS_ARRAY status;
  isc_db_handle db = 0;
  const std::vector<char> dpb = Parameters(user, password, {isc_dpb_force_write, 1, 0});
  isc_create_database(status, 0, path.c_str(), &db, static_cast<short>(dpb.size()), dpb.data(),
                      0);
  Check(status, "create database " + path);
  isc_detach_database(status, &db);
  Check(status, "detach");
}

Probe::Probe(const std::string& database, const std::string& user, const std::string& password) {
  ISC_STATUS_ARRAY status;
  const std::vector<char> dpb = Parameters(user, password, {});
  isc_attach_database(status, 0, database.c_str(), &db_, static_cast<short>(dpb.size()),
                      dpb.data());
  Check(status, "probe attach");
}

Probe::~Probe() {
  ISC_STATUS_ARRAY status;
  if (open_ != 0) isc_rollback_transaction(status, &open_);
  isc_detach_database(status, &db_);
}

std::string Probe::Query(const std::string& sql) {
  ISC_STATUS_ARRAY status;
  isc_tr_handle transaction = 0;
  Start(&db_, &transaction);
  isc_stmt_handle statement = 0;
  std::vector<char> area(XSQLDA_LENGTH(1));
  auto* sqlda = reinterpret_cast<XSQLDA*>(area.data());
  sqlda->version = SQLDA_VERSION1;
  sqlda->sqln = 1;
  std::string value = "<none>";
  try {
    isc_dsql_allocate_statement(status, &db_, &statement);
    Check(status, "allocate");
    isc_dsql_prepare(status, &transaction, &statement, 0, sql.c_str(), 3, sqlda);
    Check(status, "prepare " + sql);
    char buffer[2 + 1024] = {};
    short null_flag = 0;
    XSQLVAR& column = sqlda->sqlvar[0];
    column.sqltype = SQL_VARYING + 1;
    column.sqllen = 1024;
    column.sqldata = buffer;
    column.sqlind = &null_flag;
    isc_dsql_execute(status, &transaction, &statement, 1, nullptr);
    Check(status, "execute " + sql);
    if (isc_dsql_fetch(status, &statement, 1, sqlda) == 0) {
      const auto length = *reinterpret_cast<unsigned short*>(buffer);
      value = null_flag < 0 ? "<null>" : std::string(buffer + 2, length);
    }
    isc_dsql_free_statement(status, &statement, DSQL_drop);
    isc_commit_transaction(status, &transaction);
    Check(status, "commit");
  } catch (...) {
    if (statement != 0) isc_dsql_free_statement(status, &statement, DSQL_drop);
    isc_rollback_transaction(status, &transaction);
    throw;
  }
  return value;
}

void Probe::Execute(const std::string& sql) {
  ISC_STATUS_ARRAY status;
  isc_tr_handle transaction = 0;
  Start(&db_, &transaction);
  isc_dsql_execute_immediate(status, &db_, &transaction, 0, sql.c_str(), 3, nullptr);
  if (status[0] == 1 && status[1] != 0) {
    ISC_STATUS_ARRAY ignored;
    isc_rollback_transaction(ignored, &transaction);
    Check(status, sql);
  }
  isc_commit_transaction(status, &transaction);
  Check(status, "commit");
}

void Probe::Begin() { Start(&db_, &open_); }

void Probe::ExecuteInOpen(const std::string& sql) {
  ISC_STATUS_ARRAY status;
  isc_dsql_execute_immediate(status, &db_, &open_, 0, sql.c_str(), 3, nullptr);
  Check(status, sql);
}

void Probe::Commit() {
  ISC_STATUS_ARRAY status;
  isc_commit_transaction(status, &open_);
  Check(status, "commit");
}

void Probe::Rollback() {
  ISC_STATUS_ARRAY status;
  isc_rollback_transaction(status, &open_);
  Check(status, "rollback");
}

}  // namespace tolvane::fbdrv::testing
