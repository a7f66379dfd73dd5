// The entry function, the library's exports, and the pure helpers that
// decide how a text runs.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DriverHarness.h"
#include "fbdrv/StatementKind.h"

namespace tolvane::fbdrv::testing {
namespace {

using tolvane::fbdrv::ClassifyStatement;
using tolvane::fbdrv::StatementKind;

TEST(DriverEntryTest, MissingClientLibraryGivesNoDriver) {
  tolvane::ISQLDriver* driver = nullptr;
  EXPECT_NE(DriverEntry()("libnosuchclient.so.9", "", &driver), 0);
  EXPECT_EQ(driver, nullptr);
  // A library without the client functions is refused the same way.
  EXPECT_NE(DriverEntry()("libm.so.6", "", &driver), 0);
  EXPECT_EQ(driver, nullptr);
  EXPECT_NE(DriverEntry()(nullptr, "", &driver), 0);
  EXPECT_EQ(driver, nullptr);
}

TEST(DriverEntryTest, ManyThreadsGetDriversAtOnce) {
  std::vector<std::thread> threads;
  std::array<int, 8> results{};
  for (std::size_t i = 0; i < results.size(); ++i) {
    threads.emplace_back([&results, i] {
      tolvane::ISQLDriver* driver = nullptr;
      results[i] = DriverEntry()(kClientLibrary, "", &driver);
      tolvane::ISQLConnection* connection = nullptr;
      if (results[i] == 0 && driver->CreateConnection(&connection) != 0) results[i] = -1;
      if (connection != nullptr) connection->Release();
      if (driver != nullptr) driver->Release();
    });
  }
  for (auto& thread : threads) thread.join();
  for (int result : results) EXPECT_EQ(result, 0);
}

TEST(DriverEntryTest, ExportsOnlyTheEntryFunctionAndDoesNotLinkTheClient) {
  std::string symbols;
  std::unique_ptr<FILE, int (*)(FILE*)> nm(
      popen("nm -D --defined-only " FBDRV_LIBRARY_PATH " | awk '{print $3}'", "r"), pclose);
  ASSERT_TRUE(nm);
  char line[256];
  while (fgets(line, sizeof line, nm.get()) != nullptr) symbols += line;
  EXPECT_EQ(symbols, "getSQLDriverINTERBASE\n");

  std::string needed;
  std::unique_ptr<FILE, int (*)(FILE*)> readelf(
      popen("readelf -d " FBDRV_LIBRARY_PATH " | grep NEEDED", "r"), pclose);
  while (fgets(line, sizeof line, readelf.get()) != nullptr) needed += line;
  EXPECT_EQ(needed.find("fbclient"), std::string::npos) << needed;
}

TEST(StatementKindTest, CommitAndRollbackLinesAlone) {
  for (const char* line : {"COMMIT", "commit", "  Commit ; ", "commit work;", "COMMIT;;",
                           "/* end */ commit -- done"}) {
    EXPECT_EQ(ClassifyStatement(line), StatementKind::kCommit) << line;
  }
  for (const char* line : {"ROLLBACK", " rollback;", "Rollback Work"}) {
    EXPECT_EQ(ClassifyStatement(line), StatementKind::kRollback) << line;
  }
  // Other forms are the server's to run.
  for (const char* line : {"commit retain", "rollback to savepoint s1", "commitx", "commit; x"}) {
    EXPECT_EQ(ClassifyStatement(line), StatementKind::kPrepared) << line;
  }
}

TEST(StatementKindTest, OnlyStatementsThatCannotReturnRowsRunWithoutPrepare) {
  for (const char* line : {"create table t (i int)", "ALTER TABLE t add j int", "drop table t",
                           "recreate view v as select 1 x from rdb$database",
                           "grant select on t to public", "comment on table t is 'x'",
                           "\tdeclare external function f"}) {
    EXPECT_EQ(ClassifyStatement(line), StatementKind::kImmediate) << line;
  }
  for (const char* line : {"insert into t values (1)", "Update t set i = 1",
                           "update or insert into t values (1) matching (i)", "delete from t",
                           "merge into t using s on 1 = 1 when matched then delete"}) {
    EXPECT_EQ(ClassifyStatement(line), StatementKind::kDml) << line;
  }
  // Rows are possible, or the word is not known: the server decides.
  for (const char* line : {"select 1 from rdb$database", "(select 1 from rdb$database)",
                           "with x as (select 1 a from rdb$database) select a from x",
                           "execute block returns (n int) as begin suspend; end",
                           "execute procedure p", "-- create\nselect 1 from rdb$database",
                           "/* drop */ select 1 from rdb$database", "set generator g to 1",
                           "\"CREATE\"", "", "   ", "createx table", "/* unterminated"}) {
    EXPECT_EQ(ClassifyStatement(line), StatementKind::kPrepared) << line;
  }
}

TEST(StatementKindTest, CreateDatabaseIsRecognisedBehindComments) {
  for (const char* line : {"create database 'x.fdb'", "CREATE SCHEMA 'x.fdb'",
                           "/* a */ Create -- b\n DataBase 'x.fdb'"}) {
    EXPECT_EQ(ClassifyStatement(line), StatementKind::kCreateDatabase) << line;
  }
  EXPECT_EQ(ClassifyStatement("create databases_t (id int)"), StatementKind::kImmediate);
}

}  // namespace
}  // namespace tolvane::fbdrv::testing
