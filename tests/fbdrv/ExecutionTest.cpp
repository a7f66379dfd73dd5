// Running SQL texts through the driver against an embedded database.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <thread>
#include <vector>

#include "DriverHarness.h"
#include "fbdrv/DriverFailure.h"
#include "fbdrv/ErrorSlot.h"
#include "TestDatabase.h"

namespace tolvane::fbdrv::testing {
namespace {

using tolvane::kDriverSqlError;

class ExecutionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    database_ = folder_.Path() + "/exec.fdb";
    CreateDatabase(database_);
  }

  TestFolder folder_;
  std::string database_;
};

TEST_F(ExecutionTest, AttachToMissingFileFailsWithServerText) {
  Session session(folder_.Path() + "/missing.fdb");
  EXPECT_EQ(session.attach_result, kDriverSqlError);
  EXPECT_NE(session.attach_text.find("I/O error during \"open\" operation for file"),
            std::string::npos) << session.attach_text;
  EXPECT_NE(session.attach_text.find("missing.fdb"), std::string::npos);
  EXPECT_NE(session.attach_text.find("\n-"), std::string::npos) << "one message per line";
  EXPECT_NE(session.attach_text.find("SQLSTATE = 08001"), std::string::npos) << session.attach_text;
}

TEST_F(ExecutionTest, DefinitionIsCommittedBeforeTheNextStatementUsesIt) {
  Session session(database_);
  ASSERT_EQ(session.attach_result, 0) << session.attach_text;
  EXPECT_EQ(session.Exec("create table t (id integer, s varchar(10))"), 0u);
  EXPECT_EQ(session.Exec("insert into t values (1, 'a')"), 1u);
  EXPECT_EQ(session.Exec("insert into t select id + 1, s from t"), 1u);
  EXPECT_EQ(session.Exec("insert into t select id + 2, s from t"), 2u);
  EXPECT_EQ(session.Exec("update t set s = 'b' where id > 1"), 3u);
  EXPECT_EQ(session.Exec("update t set s = 'c' where id > 100"), 0u);
  EXPECT_EQ(session.Exec("delete from t where id <= 2"), 2u);
  EXPECT_EQ(session.Exec("update or insert into t (id, s) values (9, 'x') matching (id)"), 1u);
  EXPECT_EQ(session.Exec("insert into t values (10, 'r') returning id"), 1u);
  EXPECT_EQ(session.Exec("alter table t add n integer"), 0u);
  Probe probe(database_);
  EXPECT_EQ(probe.Query("select count(*) from t"), "4") << "every statement committed";
}

TEST_F(ExecutionTest, FailingStatementReportsServerTextAndIsRolledBack) {
  Session session(database_);
  session.Exec("create table t (id integer, s varchar(3))");
  Session::Outcome missing = session.Run("insert into nosuch values (1)");
  EXPECT_EQ(missing.code, kDriverSqlError);
  EXPECT_EQ(missing.text,
            "Dynamic SQL Error\n-SQL error code = -204\n-Table unknown\n-NOSUCH\n"
            "-At line 1, column 13\nSQLSTATE = 42S02");

  Session::Outcome too_long = session.Run("insert into t values (1, 'abcdef')");
  EXPECT_EQ(too_long.code, kDriverSqlError);
  EXPECT_NE(too_long.text.find("string right truncation"), std::string::npos) << too_long.text;
  EXPECT_NE(too_long.text.find("SQLSTATE = 22001"), std::string::npos);

  Session::Outcome bad_ddl = session.Run("create table t (id integer)");
  EXPECT_EQ(bad_ddl.code, kDriverSqlError);
  EXPECT_FALSE(bad_ddl.text.empty());

  // The connection goes on after failures.
  EXPECT_EQ(session.Exec("insert into t values (2, 'ok')"), 1u);
  Probe probe(database_);
  EXPECT_EQ(probe.Query("select count(*) from t"), "1");
}

TEST_F(ExecutionTest, SelectHandsBackCursorWhoseTransactionEndsOnRelease) {
  Session session(database_);
  session.Exec("create table t (id integer)");
  session.Exec("insert into t values (1)");
  session.Exec("create sequence g");
  Probe probe(database_);
  const std::string open_transactions =
      "select count(*) from mon$transactions where mon$attachment_id in (select "
      "mon$attachment_id from mon$attachments where mon$system_flag = 0 and "
      "mon$attachment_id <> current_connection)";

  for (const char* query : {"select id from t", "  with x as (select id from t) select * from x",
                            "/* note */ select id from t for update with lock",
                            "execute block returns (n integer) as begin n = 1; suspend; end"}) {
    Session::Outcome outcome = session.Run(query);
    ASSERT_EQ(outcome.code, 0) << query << "\n" << outcome.text;
    EXPECT_TRUE(outcome.cursor) << query;
    EXPECT_EQ(outcome.rows, 0u);
    EXPECT_EQ(probe.Query(open_transactions), "1") << "the cursor keeps its transaction open";
    outcome.cursor.Release();
    EXPECT_EQ(probe.Query(open_transactions), "0") << "released cursor ends it";
  }
  // Statements without rows hand back none, even when prepared.
  for (const char* statement : {"insert into t values (2)", "execute block as begin end",
                                "set generator g to 5"}) {
    Session::Outcome outcome = session.Run(statement);
    EXPECT_EQ(outcome.code, 0) << statement << "\n" << outcome.text;
    EXPECT_FALSE(outcome.cursor) << statement;
  }
}

TEST_F(ExecutionTest, LockedRowReadThroughCursorIsCommittedOnRelease) {
  Session session(database_);
  session.Exec("create table t (id integer)");
  session.Exec("insert into t values (1)");
  Session::Outcome locked = session.Run("select id from t with lock");
  ASSERT_EQ(locked.code, 0) << locked.text;
  locked.cursor.Release();
  // Had the cursor's transaction stayed open, this would fail on the lock.
  Session other(database_, {{tolvane::coWaitOnLocks, 0}});
  EXPECT_EQ(other.Exec("update t set id = 2"), 1u);
}

TEST_F(ExecutionTest, DetachWithCursorStillHeldRollsItsWorkBack) {
  Probe probe(database_);
  probe.Execute("create table t (id integer)");
  probe.Execute("insert into t values (1)");
  Session session(database_);
  Session::Outcome outcome = session.Run("select id from t");
  ASSERT_TRUE(outcome.cursor);
  EXPECT_EQ(session.Connection()->DetachDatabase(), 0);
  outcome.cursor.Release();  // after the detach: must not touch the gone attachment
  EXPECT_EQ(probe.Query("select count(*) from mon$attachments where mon$attachment_id <> "
                        "current_connection and mon$system_flag = 0"),
            "0");
}

TEST_F(ExecutionTest, OperationsOnDetachedConnectionGiveInvalidHandle) {
  Session session(database_);
  Held<tolvane::ISQLStatement> statement;
  ASSERT_EQ(session.Connection()->CreateCommand(statement.Put()), 0);
  ASSERT_EQ(session.Connection()->DetachDatabase(), 0);
  Held<tolvane::ISQLRowCursor> cursor;
  EXPECT_EQ(statement->ExecuteSqlText("select 1 from rdb$database", cursor.Put()),
            tolvane::kDriverInvalidHandle);
  EXPECT_FALSE(ErrorText(statement.Get()).empty());
  Held<tolvane::ISQLStatement> another;
  EXPECT_EQ(session.Connection()->CreateCommand(another.Put()), tolvane::kDriverInvalidHandle);
  EXPECT_EQ(session.Connection()->DetachDatabase(), tolvane::kDriverInvalidHandle);
}

TEST_F(ExecutionTest, ConnectionsOnManyThreadsAtOnce) {
  Probe(database_).Execute("create table t (thread integer, n integer)");
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int thread = 0; thread < 6; ++thread) {
    threads.emplace_back([&, thread] {
      Session session(database_);
      if (session.attach_result != 0) ++failures;
      for (int n = 0; n < 25; ++n) {
        const std::string values = std::to_string(thread) + ", " + std::to_string(n);
        if (session.Run("insert into t values (" + values + ")").code != 0) ++failures;
        if (session.Run("select * from t where thread = " + std::to_string(thread)).code != 0) {
          ++failures;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(Probe(database_).Query("select count(*) from t"), "150");
}

TEST(ErrorSlotTest, TextsBeyondTheContractsLengthAreCut) {
  tolvane::fbdrv::ErrorSlot slot;
  const tolvane::DriverResult code = slot.Run(
      [] { throw tolvane::fbdrv::DriverFailure(tolvane::kDriverSqlError, std::string(40000, 'x')); });
  EXPECT_EQ(code, tolvane::kDriverSqlError);
  std::int16_t length = 0;
  ASSERT_EQ(slot.GetLength(&length), 0);
  EXPECT_EQ(length, 32767);
  std::vector<char> buffer(32768, '?');
  ASSERT_EQ(slot.GetText(buffer.data()), 0);
  EXPECT_EQ(buffer[32767], '\0');

  EXPECT_EQ(slot.Run([] { throw std::bad_alloc(); }), tolvane::kDriverOutOfMemory);
  EXPECT_EQ(slot.Run([] { throw 42; }), tolvane::kDriverSqlError);
  EXPECT_EQ(slot.Run([] {}), 0);
}

TEST(ErrorSlotTest, DetailsFollowTheTextAndAreNeverCut) {
  struct Row {
    std::size_t text_length;
    tolvane::DriverFailureDetails details;
  } rows[] = {
      {40, {335544665, "23000", false, {}}},
      {40000, {335544856, "08003", true, {}}},
      // Every code of the status travels too: what exactly failed.
      {40, {335544351, "42000", false, {335544351, 336397286, 336068740}}},
      {12, {}},  // the driver's own failures: no code, no SQLSTATE
  };
  for (const Row& row : rows) {
    tolvane::fbdrv::ErrorSlot slot;
    slot.Run([&] {
      throw tolvane::fbdrv::DriverFailure(kDriverSqlError, std::string(row.text_length, 'x'),
                                          row.details);
    });
    std::int16_t length = 0;
    ASSERT_EQ(slot.GetLength(&length), 0);
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '?');
    ASSERT_EQ(slot.GetText(buffer.data()), 0);
    const std::string record = tolvane::EncodeFailureDetails(row.details);
    const std::size_t text = std::min(row.text_length, 32767 - 1 - record.size());
    EXPECT_EQ(static_cast<std::size_t>(length), text + 1 + record.size());
    EXPECT_EQ(std::string(buffer.data()), std::string(text, 'x'));
    EXPECT_EQ(std::string(buffer.data() + text + 1), record);
    EXPECT_EQ(buffer.back(), '\0');
  }
}

}  // namespace
}  // namespace tolvane::fbdrv::testing
