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

namespace fbdrv_test {
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

}  // namespace
}  // namespace fbdrv_test
