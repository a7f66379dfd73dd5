// Connection options and transactions, observed from the database.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <future>
#include <thread>

#include "DriverHarness.h"
#include "Listener.h"
#include "TestDatabase.h"

namespace tolvane::fbdrv::testing {
namespace {

using namespace std::chrono_literals;
using tolvane::kDriverSqlError;

tolvane::OptionValue Text(const char* text) { return reinterpret_cast<tolvane::OptionValue>(text); }

class OptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    database_ = folder_.Path() + "/options.fdb";
    CreateDatabase(database_);
    Probe probe(database_);
    probe.Execute("create table t (id integer, s varchar(20) character set utf8)");
    probe.Execute("insert into t values (1, 'a')");
    probe.Execute("create table seen (v varchar(100))");
  }

  // What the driver's own attachment sees, stored by it and read by a probe.
  std::string SeenBy(Session& session, const std::string& expression) {
    session.Exec("delete from seen");
    session.Exec("insert into seen select " + expression +
                 " from mon$attachments where mon$attachment_id = current_connection");
    return Probe(database_).Query("select v from seen");
  }

  TestFolder folder_;
  std::string database_;
};

TEST_F(OptionsTest, DialectDecidesWhatDoubleQuotesMean) {
  Session dialect1(database_, {{tolvane::coSqlDialect, 1}});
  ASSERT_EQ(dialect1.attach_result, 0) << dialect1.attach_text;
  EXPECT_EQ(dialect1.Exec("insert into seen values (\"quoted\")"), 1u);
  EXPECT_EQ(Probe(database_).Query("select v from seen"), "quoted");

  Session dialect3(database_);  // 3 when not given
  Session::Outcome outcome = dialect3.Run("insert into seen values (\"quoted\")");
  EXPECT_EQ(outcome.code, kDriverSqlError);
  EXPECT_NE(outcome.text.find("Column unknown"), std::string::npos) << outcome.text;

  Held<tolvane::ISQLMetaData> meta1, meta3;
  ASSERT_EQ(dialect1.Connection()->CreateMetaData(meta1.Put()), 0);
  ASSERT_EQ(dialect3.Connection()->CreateMetaData(meta3.Put()), 0);
  char quote = 'x';
  ASSERT_EQ(meta3->GetMetaDataOption(tolvane::moQuoteChar, &quote, 1, nullptr), 0);
  EXPECT_EQ(quote, '"');
  ASSERT_EQ(meta1->GetMetaDataOption(tolvane::moQuoteChar, &quote, 1, nullptr), 0);
  EXPECT_EQ(quote, '\0');
}

TEST_F(OptionsTest, CharacterSetOfTheConnection) {
  Session win(database_, {{tolvane::coServerCharSet, Text("WIN1252")}});
  ASSERT_EQ(win.attach_result, 0) << win.attach_text;
  EXPECT_EQ(SeenBy(win, "(select trim(rdb$character_set_name) from rdb$character_sets where "
                        "rdb$character_set_id = mon$character_set_id)"),
            "WIN1252");
  // The byte E9 is "é" in WIN1252 and arrives as two bytes in UTF8.
  win.Exec("insert into t values (2, '\xE9')");
  EXPECT_EQ(Probe(database_).Query("select octet_length(s) from t where id = 2"), "2");

  Session utf8(database_, {{tolvane::coServerCharSet, Text("UTF8")}});
  EXPECT_EQ(SeenBy(utf8, "(select trim(rdb$character_set_name) from rdb$character_sets where "
                         "rdb$character_set_id = mon$character_set_id)"),
            "UTF8");
  Session::Outcome bad = utf8.Run("insert into t values (3, '\xE9')");
  EXPECT_EQ(bad.code, kDriverSqlError) << "a lone E9 is no UTF8 text";

  Session unknown(database_, {{tolvane::coServerCharSet, Text("NOSUCHSET")}});
  EXPECT_EQ(unknown.attach_result, kDriverSqlError);
  EXPECT_FALSE(unknown.attach_text.empty());
}

TEST_F(OptionsTest, UnknownRoleIsIgnoredByTheServer) {
  // Firebird 3 attaches with a role that does not exist and runs without it.
  Session session(database_, {{tolvane::coRoleName, Text("RoleName")}});
  ASSERT_EQ(session.attach_result, 0) << session.attach_text;
  EXPECT_EQ(SeenBy(session, "current_role"), "NONE");

  Probe probe(database_);
  probe.Execute("create role auditor");
  probe.Execute("grant auditor to sysdba");
  Session known(database_, {{tolvane::coRoleName, Text("auditor")}});
  EXPECT_EQ(SeenBy(known, "current_role"), "AUDITOR");
}

TEST_F(OptionsTest, UnsupportedOptionsAreRefusedAndRequiredOnesAccepted) {
  Session session(database_);
  tolvane::ISQLConnection* connection = session.Connection();
  EXPECT_EQ(connection->SetConnectionOption(tolvane::coTraceCallback, 0), 0);
  EXPECT_EQ(connection->SetConnectionOption(tolvane::coTraceClientData, 0), 0);
  EXPECT_EQ(connection->SetConnectionOption(tolvane::coBlobSize, -1), 0);
  EXPECT_EQ(connection->SetConnectionOption(tolvane::coTrimChar, 0), 0);
  EXPECT_EQ(connection->SetConnectionOption(tolvane::coTrimChar, 1), tolvane::kDriverNotSupported);
  EXPECT_EQ(connection->SetConnectionOption(tolvane::coOSAuthentication, 1),
            tolvane::kDriverNotSupported);
  EXPECT_FALSE(ErrorText(connection).empty());
  EXPECT_EQ(connection->SetConnectionOption(static_cast<tolvane::ConnectionOption>(77), 1),
            tolvane::kDriverNotSupported);

  std::uint32_t limit = 99;
  std::int16_t length = 0;
  ASSERT_EQ(connection->GetConnectionOption(tolvane::coMaxActiveStatements, &limit, 4, &length), 0);
  EXPECT_EQ(limit, 0u);
  EXPECT_EQ(length, 4);

  Held<tolvane::ISQLMetaData> meta;
  ASSERT_EQ(connection->CreateMetaData(meta.Put()), 0);
  EXPECT_EQ(meta->SetMetaDataOption(tolvane::moUserName, Text("SYSDBA")), 0);
  std::int32_t supported = 0;
  ASSERT_EQ(meta->GetMetaDataOption(tolvane::moTransactionsSupported, &supported, 4, nullptr), 0);
  EXPECT_NE(supported, 0);
}

TEST_F(OptionsTest, HostAndPortFormTheServerPartOfTheDatabaseName) {
  // A listener that accepts and hangs up: the attach must reach it on the
  // given host and port, and then fail with the client's network text.
  Listener listener;
  const std::string port = std::to_string(listener.Port());
  auto attach = std::async(std::launch::async, [&] {
    return Session(database_, {{tolvane::coHostName, Text("127.0.0.1")},
                               {tolvane::coServerPort, Text(port.c_str())},
                               {tolvane::coConnectionTimeout, 5}})
        .attach_result;
  });
  EXPECT_TRUE(listener.AcceptAndClose(10)) << "the driver connected to the given port";
  EXPECT_EQ(attach.get(), kDriverSqlError);
}

TEST_F(OptionsTest, SilentPeerEndsTheAttachAtTheConnectTimeout) {
  // The kernel completes the connection for the listener, which never
  // accepts it nor writes: a server that has stopped answering.
  Listener silent;
  const std::string port = std::to_string(silent.Port());
  const auto start = std::chrono::steady_clock::now();
  Session session(database_, {{tolvane::coHostName, Text("127.0.0.1")},
                              {tolvane::coServerPort, Text(port.c_str())},
                              {tolvane::coConnectionTimeout, 2}});
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(session.attach_result, kDriverSqlError);
  EXPECT_EQ(session.attach_text.rfind("No answer from \"127.0.0.1/" + port + ":" + database_ +
                                          "\" within 2 seconds (connect timeout)\n-",
                                      0),
            0u)
      << session.attach_text;
  EXPECT_GE(waited, 1500ms);
  EXPECT_LT(waited, 8s);
}

class LockTest : public OptionsTest {
 protected:
  void SetUp() override {
    OptionsTest::SetUp();
    holder_ = std::make_unique<Probe>(database_);
    holder_->Begin();
    holder_->ExecuteInOpen("update t set s = 'held' where id = 1");
  }
  void TearDown() override { holder_.reset(); }

  std::unique_ptr<Probe> holder_;
};

TEST_F(LockTest, NoWaitFailsAtOnce) {
  Session session(database_, {{tolvane::coWaitOnLocks, 0}});
  const auto start = std::chrono::steady_clock::now();
  Session::Outcome outcome = session.Run("update t set s = 'mine' where id = 1");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(outcome.code, kDriverSqlError);
  EXPECT_NE(outcome.text.find("deadlock"), std::string::npos) << outcome.text;
}

TEST_F(LockTest, WaitReturnsOnceTheHolderCommits) {
  Session session(database_, {{tolvane::coWaitOnLocks, 1}});
  auto waiting = std::async(std::launch::async,
                            [&] { return session.Run("update t set s = 'mine' where id = 1"); });
  EXPECT_EQ(waiting.wait_for(500ms), std::future_status::timeout) << "it waits for the lock";
  holder_->Commit();
  ASSERT_EQ(waiting.wait_for(10s), std::future_status::ready);
  Session::Outcome outcome = waiting.get();
  // Read committed with the holder's update committed: an update conflict
  // is reported by the server, or the row is updated; either way no hang.
  if (outcome.code == 0) {
    EXPECT_EQ(outcome.rows, 1u);
  } else {
    EXPECT_NE(outcome.text.find("update conflicts"), std::string::npos) << outcome.text;
  }
}

TEST_F(LockTest, WaitPastTheLockTimeoutFails) {
  // The server counts lock waits in whole clock seconds, so a limit of 1
  // can end at the next tick; 2 gives a wait long enough to tell from no wait.
  Session session(database_, {{tolvane::coWaitOnLocks, 1}, {tolvane::coLockTimeout, 2}});
  const auto start = std::chrono::steady_clock::now();
  Session::Outcome outcome = session.Run("update t set s = 'mine' where id = 1");
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(outcome.code, kDriverSqlError);
  // Firebird 3 reports a record lock wait that timed out as an update conflict.
  EXPECT_NE(outcome.text.find("update conflicts with concurrent update"), std::string::npos)
      << outcome.text;
  EXPECT_GE(waited, 900ms);
  EXPECT_LT(waited, 10s);
  // The failed line left nothing behind: the connection goes on.
  holder_->Rollback();
  EXPECT_EQ(session.Exec("update t set s = 'mine' where id = 1"), 1u);
}

TEST_F(LockTest, ConnectionsOwnLockTimeoutTakesThePlaceOfTheDriversDefault) {
  Session session(database_, {{tolvane::coWaitOnLocks, 1}, {tolvane::coLockTimeout, 2}});
  const auto start = std::chrono::steady_clock::now();
  Session::Outcome outcome = session.Run("update t set s = 'mine' where id = 1");
  EXPECT_EQ(outcome.code, kDriverSqlError) << outcome.text;
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  std::int32_t seconds = 0;
  ASSERT_EQ(session.Connection()->GetConnectionOption(tolvane::coLockTimeout, &seconds, 4, nullptr),
            0);
  EXPECT_EQ(seconds, 2);
}

class TransactionTest : public OptionsTest {
 protected:
  std::string Count() { return Probe(database_).Query("select count(*) from t"); }
};

TEST_F(TransactionTest, CommitAndRollbackLinesHaveNoEffectInAutoCommit) {
  Session session(database_);
  for (const char* line : {"commit", " ROLLBACK ; ", "Commit Work;", "rollback"}) {
    Session::Outcome outcome = session.Run(line);
    EXPECT_EQ(outcome.code, 0) << line << outcome.text;
    EXPECT_FALSE(outcome.cursor);
  }
  session.Exec("insert into t values (2, 'b')");
  EXPECT_EQ(session.Run("rollback").code, 0);
  EXPECT_EQ(Count(), "2") << "already committed";
}

TEST_F(TransactionTest, AutoCommitOffKeepsOneTransactionUntilCommitOrRollback) {
  Session session(database_, {{tolvane::coAutoCommit, 0}});
  session.Exec("insert into t values (2, 'b')");
  session.Exec("insert into t values (3, 'c')");
  EXPECT_EQ(Count(), "1") << "nothing visible before COMMIT";
  EXPECT_EQ(session.Run("commit;").code, 0);
  EXPECT_EQ(Count(), "3");

  session.Exec("delete from t");
  EXPECT_EQ(session.Run("insert into nosuch values (1)").code, kDriverSqlError);
  EXPECT_EQ(Count(), "3") << "a failed line does not end the transaction";
  EXPECT_EQ(session.Run("ROLLBACK").code, 0);
  EXPECT_EQ(Count(), "3");

  session.Exec("delete from t");
  ASSERT_EQ(session.Connection()->DetachDatabase(), 0);
  EXPECT_EQ(Count(), "3") << "detach rolls back what is uncommitted";
}

TEST_F(TransactionTest, CommitRetainKeepsTheTransactionButCommitsEachStatement) {
  Session session(database_, {{tolvane::coCommitRetain, 1}});
  session.Exec("insert into t values (2, 'b')");
  EXPECT_EQ(Count(), "2");
  EXPECT_EQ(session.Run("insert into t values (3, 'this text is too long to fit')").code,
            kDriverSqlError);
  session.Exec("insert into t values (4, 'd')");
  EXPECT_EQ(Count(), "3");
  Session::Outcome cursor = session.Run("select * from t");
  ASSERT_TRUE(cursor.cursor);
  cursor.cursor.Release();
  session.Exec("delete from t where id = 4");
  EXPECT_EQ(Count(), "2");
}

TEST_F(TransactionTest, SnapshotIsolationSeesItsOwnStartingPoint) {
  // With auto-commit off and a snapshot, a row committed by another
  // attachment after the first statement stays invisible until COMMIT.
  Session session(database_, {{tolvane::coAutoCommit, 0}, {tolvane::coTransIsolation, 1}});
  session.Exec("delete from seen");
  Probe(database_).Execute("insert into t values (5, 'late')");
  session.Exec("insert into seen select count(*) from t");
  session.Run("commit");
  EXPECT_EQ(Probe(database_).Query("select v from seen"), "1");

  Session committed(database_, {{tolvane::coAutoCommit, 0}, {tolvane::coTransIsolation, 0}});
  committed.Exec("delete from seen");
  Probe(database_).Execute("insert into t values (6, 'later')");
  committed.Exec("insert into seen select count(*) from t");
  committed.Run("commit");
  EXPECT_EQ(Probe(database_).Query("select v from seen"), "3");
}

}  // namespace
}  // namespace tolvane::fbdrv::testing
