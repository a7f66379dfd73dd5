// Behaviour that needs a running server: logins are checked and attachments
// are seen from outside. Runs when TOLVANE_TEST_SERVER names one (host:port),
// or when the project's test script has started its private server
// (TOLVANE_FB_PORT); SYSDBA's password there is "ravenquil".
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <optional>

#include "DriverHarness.h"
#include "TestDatabase.h"

namespace tolvane::fbdrv::testing {
namespace {

constexpr char kPassword[] = "ravenquil";

struct ServerAddress {
  std::string host;
  std::string port;
};

std::optional<ServerAddress> ConfiguredServer() {
  if (const char* named = getenv("TOLVANE_TEST_SERVER"); named != nullptr && *named != '\0') {
    const std::string text = named;
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) return ServerAddress{text, ""};
    return ServerAddress{text.substr(0, colon), text.substr(colon + 1)};
  }
  if (const char* port = getenv("TOLVANE_FB_PORT"); port != nullptr && *port != '\0') {
    return ServerAddress{"localhost", port};
  }
  return std::nullopt;
}

tolvane::OptionValue Text(const std::string& text) {
  return reinterpret_cast<tolvane::OptionValue>(text.c_str());
}

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::optional<ServerAddress> server = ConfiguredServer();
    if (!server) GTEST_SKIP() << "no server: set TOLVANE_TEST_SERVER=host:port";
    server_ = *server;
    // The server process writes the database file.
    chmod(folder_.Path().c_str(), 0777);
    path_ = folder_.Path() + "/server.fdb";
    CreateDatabase(Remote(), "SYSDBA", kPassword);
  }

  std::string Remote() const {
    return server_.host + (server_.port.empty() ? "" : "/" + server_.port) + ":" + path_;
  }
  std::vector<Option> Where() const {
    return {{tolvane::coHostName, Text(server_.host)}, {tolvane::coServerPort, Text(server_.port)}};
  }
  std::string OtherAttachments() {
    return Probe(Remote(), "SYSDBA", kPassword)
        .Query("select count(*) from mon$attachments where mon$system_flag = 0 and "
               "mon$attachment_id <> current_connection");
  }

  TestFolder folder_;
  ServerAddress server_;
  std::string path_;
};

TEST_F(ServerTest, WrongPasswordIsRefusedWithTheServerText) {
  Session session(path_, Where(), "SYSDBA", "not-the-password");
  EXPECT_EQ(session.attach_result, tolvane::kDriverSqlError);
  EXPECT_NE(session.attach_text.find("Your user name and password are not defined"),
            std::string::npos)
      << session.attach_text;
  EXPECT_NE(session.attach_text.find("SQLSTATE = 28000"), std::string::npos);
}

TEST_F(ServerTest, NoAttachmentIsLeftBehind) {
  {
    Session session(path_, Where(), "SYSDBA", kPassword);
    ASSERT_EQ(session.attach_result, 0) << session.attach_text;
    session.Exec("create table t (id integer)");
    session.Exec("insert into t values (1)");
    EXPECT_EQ(session.Run("insert into nosuch values (1)").code, tolvane::kDriverSqlError);
    Session::Outcome open = session.Run("select id from t");
    ASSERT_TRUE(open.cursor);
    EXPECT_EQ(OtherAttachments(), "1");
    // Detached with the cursor still held, as a failing caller might.
    EXPECT_EQ(session.Connection()->DetachDatabase(), 0);
    EXPECT_EQ(OtherAttachments(), "0");
  }
  {
    // Released without a detach: the connection detaches on its own.
    Session session(path_, Where(), "SYSDBA", kPassword);
    ASSERT_EQ(session.attach_result, 0) << session.attach_text;
    EXPECT_EQ(session.Exec("update t set id = 2"), 1u);
  }
  EXPECT_EQ(OtherAttachments(), "0");
}

TEST_F(ServerTest, FailureDetailsNameTheCodeAndWhetherTheConnectionIsGone) {
  Session session(path_, Where(), "SYSDBA", kPassword);
  ASSERT_EQ(session.attach_result, 0) << session.attach_text;
  session.Exec("create table t (id integer primary key)");
  session.Exec("insert into t values (1)");

  Session::Outcome duplicate = session.Run("insert into t values (1)");
  ASSERT_TRUE(duplicate.details) << duplicate.text;
  EXPECT_EQ(duplicate.details->isc_code, 335544665);  // unique key violation
  EXPECT_EQ(duplicate.details->sqlstate, "23000");
  EXPECT_FALSE(duplicate.details->connection_lost);
  EXPECT_EQ(duplicate.text.find('\0'), std::string::npos) << "the plain text ends at the NUL";

  // Killed from another attachment: every later statement says it is gone.
  Probe(Remote(), "SYSDBA", kPassword)
      .Execute("delete from mon$attachments where mon$system_flag = 0 and "
               "mon$attachment_id <> current_connection");
  for (int attempt = 0; attempt < 2; ++attempt) {
    Session::Outcome killed = session.Run("insert into t values (2)");
    EXPECT_EQ(killed.code, tolvane::kDriverSqlError);
    ASSERT_TRUE(killed.details) << killed.text;
    EXPECT_TRUE(killed.details->connection_lost) << killed.text;
    EXPECT_EQ(killed.details->isc_code, 335544856) << killed.text;  // connection shutdown
  }
}

TEST_F(ServerTest, StatementsDoAllTheirWorkOrFail) {
  Session session(path_, Where(), "SYSDBA", kPassword);
  ASSERT_EQ(session.attach_result, 0) << session.attach_text;
  session.Exec("create sequence g");
  session.Exec("create table w (id integer)");
  session.Exec("create procedure sp returns (n integer) as begin "
               "insert into w values (1); n = 1; suspend; insert into w values (2); end");
  const std::string created = folder_.Path() + "/created.fdb";
  struct Row {
    std::string sql;
    bool succeeds;
    std::string text_part;  // in the failure's text
    std::string check;      // a query whose first value must then be `expected`
    std::string expected;
  } rows[] = {
      {"select gen_id(g, 1) from rdb$database", true, "", "select gen_id(g, 0) from rdb$database",
       "1"},
      {"select * from sp", true, "", "select count(*) from w", "2"},
      {"select 1/0 from rdb$database", false, "Integer divide by zero", "", ""},
      {"select 1 from rdb$database union all select 1/0 from rdb$database", false,
       "Integer divide by zero", "", ""},
      {"create database '" + created + "'", false, "CREATE DATABASE cannot run in a script", "",
       ""},
      {"CREATE /* new */ SCHEMA '" + created + "'", false, "CREATE DATABASE", "", ""},
  };
  for (const Row& row : rows) {
    Session::Outcome outcome = session.Run(row.sql);
    EXPECT_EQ(outcome.code == 0, row.succeeds) << row.sql << "\n" << outcome.text;
    EXPECT_NE(outcome.text.find(row.text_part), std::string::npos) << row.sql << "\n" << outcome.text;
    outcome.cursor.Release();  // ends the statement's transaction
    if (!row.check.empty()) {
      EXPECT_EQ(Probe(Remote(), "SYSDBA", kPassword).Query(row.check), row.expected) << row.sql;
    }
  }
  struct stat seen {};
  EXPECT_NE(stat(created.c_str(), &seen), 0) << "no database was created";
}

// The options a run sets to run a script as isql does, on a local database
// (the module's own case) and through the server: each row's statements run
// through one session with its options, then a second attachment checks
// what became durable.
TEST_F(ServerTest, ScriptOptionsDoWhatIsqlDoes) {
  struct Step {
    std::string sql;
    bool succeeds;
  };
  struct Check {
    std::string query;
    std::string expected;
    // Through the server, when it differs: the server runs a cursor ahead to
    // fill the batch of rows it sends, whatever the client then fetches.
    std::string through_server;
  };
  struct Row {
    const char* name;
    std::vector<Option> options;
    std::vector<Step> steps;
    std::vector<Check> checks;
  };
  const Row rows[] = {
      {"a fetch limit stops a writing selectable procedure after that many rows",
       {{tolvane::coFetchLimit, 3}},
       {{"select * from sp", true}, {"select count(*) from sp", true}},
       // count(*) is one row, which runs the procedure to its end.
       {{"select count(*) from w", "13", "20"}}},
      {"prepare-only checks names and runs nothing, COMMIT and DDL included",
       {{tolvane::coPrepareOnly, 1}, {tolvane::coAutoCommit, 0}},
       {{"insert into t values (1)", true},
        {"select * from sp", true},
        {"create table never (id integer)", true},
        {"commit", true},
        {"insert into nosuch values (1)", false}},
       {{"select count(*) from t", "0", ""},
        {"select count(*) from w", "0", ""},
        {"select count(*) from rdb$relations where rdb$relation_name = 'NEVER'", "0", ""}}},
      {"DDL in its own transaction is committed at once, the kept work is not",
       {{tolvane::coDdlOwnTransaction, 1}, {tolvane::coAutoCommit, 0}, {tolvane::coTransIsolation, 1}},
       {{"insert into t values (1)", true},
        {"create table d (id integer)", true},
        // The kept snapshot began before the table: it is usable all the same.
        {"insert into d values (1)", true},
        {"create table d (id integer)", false},
        {"rollback", true}},
       {{"select count(*) from rdb$relations where rdb$relation_name = 'D'", "1", ""},
        {"select count(*) from t", "0", ""},
        {"select count(*) from d", "0", ""}}},
      {"SET TRANSACTION rolls back the kept work and its transaction is kept",
       {{tolvane::coTransactionStatements, 1}, {tolvane::coAutoCommit, 0}},
       {{"insert into t values (1)", true},
        {"set transaction read committed no wait", true},
        {"insert into t values (2)", true},
        {"commit", true}},
       {{"select list(id) from t", "2", ""}}},
  };
  const std::string local = folder_.Path() + "/local.fdb";
  CreateDatabase(local);
  for (const bool through_server : {false, true}) {
    const std::string database = through_server ? Remote() : local;
    const auto probe = [&] { return Probe(database, "SYSDBA", kPassword); };
    probe().Execute("create table t (id integer)");
    probe().Execute("create table w (id integer)");
    probe().Execute("create procedure sp returns (n integer) as begin n = 0; while (n < 10) do "
                    "begin n = n + 1; insert into w values (:n); suspend; end end");
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.name) + (through_server ? ", through the server" : ", local"));
      {
        std::vector<Option> options = through_server ? Where() : std::vector<Option>{};
        options.insert(options.end(), row.options.begin(), row.options.end());
        Session session(through_server ? path_ : local, options, "SYSDBA", kPassword);
        ASSERT_EQ(session.attach_result, 0) << session.attach_text;
        for (const Step& step : row.steps) {
          Session::Outcome outcome = session.Run(step.sql);
          EXPECT_EQ(outcome.code == 0, step.succeeds) << step.sql << "\n" << outcome.text;
        }
      }
      Probe check = probe();
      for (const Check& c : row.checks) {
        EXPECT_EQ(check.Query(c.query),
                  through_server && !c.through_server.empty() ? c.through_server : c.expected)
            << c.query;
      }
      for (const char* table : {"t", "w"}) check.Execute(std::string("delete from ") + table);
    }
  }
}
}  // namespace
}  // namespace tolvane::fbdrv::testing
