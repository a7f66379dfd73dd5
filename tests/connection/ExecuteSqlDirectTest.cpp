// Direct execution against the scripted fake driver: the statement's calls,
// which texts count as SELECT, clones for a driver with one active statement,
// and what is released on every way out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "FakeDriverSetup.h"
#include "RunnerConnectionFixture.h"
#include "runtime/Exceptions.h"

namespace tolvane {
namespace {

using ::testing::ElementsAreArray;

class ExecuteSqlDirectTest : public RunnerConnectionFixture {
 protected:

  void Open(std::uint32_t max_active_statements) {
    fakedrv::ThreadSettings().max_active_statements = max_active_statements;
    connection_->SetConnected(true);
    fakedrv::ClearLog();
  }

};

TEST_F(ExecuteSqlDirectTest, StatementWithoutRowsIsClosedAndReleased) {
  Open(0);
  fakedrv::ThreadSettings().affected_rows = 7;
  EXPECT_EQ(connection_->ExecuteSqlDirect("insert into t values (1)"), 7u);
  EXPECT_THAT(fakedrv::Log(), ElementsAreArray({
                                  "CreateCommand connection=1",
                                  "SetStatementOption soRowsetSize=20",
                                  "ExecuteSqlText sql=insert into t values (1)",
                                  "GetAffectedRowCount",
                                  "CloseStatement",
                                  "Release ISQLStatement",
                              }));
}

TEST_F(ExecuteSqlDirectTest, StatementWithRowsIsLeftToItsCursorWhichGoesFirst) {
  Open(0);
  connection_->ExecuteSqlDirect("select * from t");
  EXPECT_THAT(fakedrv::Log(), ElementsAreArray({
                                  "CreateCommand connection=1",
                                  "SetStatementOption soRowsetSize=20",
                                  "ExecuteSqlText sql=select * from t",
                                  "GetAffectedRowCount",
                                  "Release ISQLRowCursor",
                                  "Release ISQLStatement",
                              }));
}

TEST_F(ExecuteSqlDirectTest, ClosedConnectionIsOpenedFirst) {
  connection_->ExecuteSqlDirect("delete from t");
  EXPECT_TRUE(connection_->Connected());
  EXPECT_EQ(fakedrv::Log().front(),
            std::string(fakedrv::kEntryName) + " vendor=" + kRunnerVendorLib + " errors=");
}

TEST_F(ExecuteSqlDirectTest, RowsetSizeComesFromParamsAndFallsBackToTwenty) {
  Open(0);
  connection_->Params().SetValue("RowsetSize", " 50 ");
  connection_->ExecuteSqlDirect("x");
  connection_->Params().SetValue("RowsetSize", "many");
  connection_->ExecuteSqlDirect("x");
  std::vector<std::string> log = fakedrv::Log();
  EXPECT_EQ(log[1], "SetStatementOption soRowsetSize=50");
  EXPECT_THAT(log, ::testing::Contains("SetStatementOption soRowsetSize=20"));
}

TEST_F(ExecuteSqlDirectTest, RefusedExecutionRaisesTheStatementsTextAndReleasesIt) {
  Open(0);
  fakedrv::FailCall("ExecuteSqlText", 1, 65, "Token unknown - line 1");
  try {
    connection_->ExecuteSqlDirect("selct 1");
    FAIL() << "no error raised";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(),
              "Driver Error: [0x0065]: SQL Error\r\nSQL Server Error: Token unknown - line 1");
  }
  EXPECT_EQ(connection_->LastErrorText(),
            "Driver Error: [0x0065]: SQL Error\r\nSQL Server Error: Token unknown - line 1");
  std::vector<std::string> log = fakedrv::Log();
  EXPECT_THAT(log, ::testing::Not(::testing::Contains("CloseStatement")));
  EXPECT_EQ(log.back(), "Release ISQLStatement");
}

TEST_F(ExecuteSqlDirectTest, FailedCountStillClosesTheStatementBeforeRaising) {
  Open(0);
  fakedrv::FailCall("GetAffectedRowCount", 1, 65, "lost");
  EXPECT_THROW(connection_->ExecuteSqlDirect("update t set a = 1"), EDatabaseError);
  std::vector<std::string> log = fakedrv::Log();
  auto close = std::find(log.begin(), log.end(), "CloseStatement");
  auto asked = std::find(log.begin(), log.end(), "GetErrorTextLength");
  EXPECT_LT(close, asked) << "the statement is closed before the error is raised";
  EXPECT_EQ(log.back(), "Release ISQLStatement");

  // With a cursor: no close, cursor then statement released.
  fakedrv::ClearLog();
  fakedrv::FailCall("GetAffectedRowCount", 1, 65, "lost");
  EXPECT_THROW(connection_->ExecuteSqlDirect("select 1 from t"), EDatabaseError);
  log = fakedrv::Log();
  EXPECT_THAT(log, ::testing::Not(::testing::Contains("CloseStatement")));
  EXPECT_EQ(log[log.size() - 2], "Release ISQLRowCursor");
  EXPECT_EQ(log.back(), "Release ISQLStatement");
}

TEST_F(ExecuteSqlDirectTest, RefusedCommandReturnsZeroSilently) {
  Open(0);
  fakedrv::FailCall("CreateCommand", 1, 5);
  EXPECT_EQ(connection_->ExecuteSqlDirect("insert into t values (1)"), 0u);
  EXPECT_THAT(fakedrv::Log(), ElementsAreArray({"CreateCommand connection=1"}));
}

// Whether a text runs on a new clone when the driver allows one active
// statement: only texts whose first token is SELECT.
struct Classification {
  const char* sql;
  bool counts_as_select;
};

class StatementClassificationTest : public ExecuteSqlDirectTest,
                                    public ::testing::WithParamInterface<Classification> {};

TEST_P(StatementClassificationTest, OnlyFirstTokenSelectRunsOnAClone) {
  Open(1);
  connection_->ExecuteSqlDirect(GetParam().sql);
  EXPECT_EQ(connection_->Clones().size(), GetParam().counts_as_select ? 1u : 0u);
  // The text reaches the driver as it is, also when it is empty.
  EXPECT_THAT(fakedrv::Log(),
              ::testing::Contains(std::string("ExecuteSqlText sql=") + GetParam().sql));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StatementClassificationTest,
    ::testing::Values(Classification{"select 1 from rdb$database", true},
                      Classification{"SeLeCt", true},
                      Classification{"  ((select 1 from rdb$database))", true},
                      Classification{"\r\n,select 1", true},
                      Classification{"select(1)", true},
                      Classification{"SELECT\t* from t", false},
                      Classification{"SELECT* from t", false},
                      Classification{"/* first */ select 1", false},
                      Classification{"\tselect 1", false},
                      Classification{"insert into t select * from u", false},
                      Classification{"", false}));

TEST_F(ExecuteSqlDirectTest, EverySelectRunsOnANewCloneNamedAfterTheConnection) {
  connection_->SetName("Main");
  Open(1);
  connection_->ExecuteSqlDirect("select 1 from t");
  connection_->ExecuteSqlDirect("insert into t values (1)");
  connection_->ExecuteSqlDirect("select 2 from t");

  ASSERT_EQ(connection_->Clones().size(), 2u);
  for (const auto& clone : connection_->Clones()) {
    EXPECT_EQ(clone->Name(), "MainClone1");
    EXPECT_TRUE(clone->IsClone());
    EXPECT_EQ(clone->ClonedFrom(), connection_.get());
    EXPECT_TRUE(clone->Connected());
    EXPECT_FALSE(clone->LoginPrompt());
    EXPECT_THAT(clone->Params().Lines(), ElementsAreArray(connection_->Params().Lines()));
  }
  std::vector<std::string> commands;
  for (const std::string& line : fakedrv::Log())
    if (line.rfind("CreateCommand", 0) == 0) commands.push_back(line);
  EXPECT_THAT(commands, ElementsAreArray({"CreateCommand connection=2", "CreateCommand connection=1",
                                          "CreateCommand connection=3"}));
}

TEST_F(ExecuteSqlDirectTest, UnnamedConnectionsClonesAreNamedClone1) {
  Open(1);
  connection_->ExecuteSqlDirect("select 1 from t");
  ASSERT_EQ(connection_->Clones().size(), 1u);
  EXPECT_EQ(connection_->Clones()[0]->Name(), "Clone1");
}

TEST_F(ExecuteSqlDirectTest, NoCloneWithoutALimitOrWithALimitOfTwo) {
  for (std::uint32_t limit : {0u, 2u}) {
    Open(limit);
    for (int i = 0; i < 3; ++i) connection_->ExecuteSqlDirect("select 1 from t");
    EXPECT_TRUE(connection_->Clones().empty()) << "limit " << limit;
    connection_->SetConnected(false);
  }
}

TEST_F(ExecuteSqlDirectTest, ClonesAreClosedAndFreedWithTheirConnection) {
  Open(1);
  connection_->ExecuteSqlDirect("select 1 from t");
  connection_->ExecuteSqlDirect("select 2 from t");
  EXPECT_EQ(fakedrv::LiveReferences(fakedrv::Interface::kConnection), 3);

  fakedrv::ClearLog();
  connection_->SetConnected(false);
  EXPECT_TRUE(connection_->Clones().empty());
  int detached = 0;
  for (const std::string& line : fakedrv::Log())
    if (line.rfind("DetachDatabase", 0) == 0) ++detached;
  EXPECT_EQ(detached, 3);
  EXPECT_EQ(fakedrv::LiveTotal(), 0);
}

TEST_F(ExecuteSqlDirectTest, CloneThatCannotOpenIsNotKeptAndTheErrorPropagates) {
  Open(1);
  fakedrv::FailCall("AttachDatabase", 1, 21);
  EXPECT_THROW(connection_->ExecuteSqlDirect("select 1 from t"), EDatabaseError);
  EXPECT_TRUE(connection_->Clones().empty());
  EXPECT_EQ(fakedrv::LiveReferences(fakedrv::Interface::kConnection), 1);
  EXPECT_EQ(fakedrv::LiveReferences(fakedrv::Interface::kDriver), 1);
}

TEST_F(ExecuteSqlDirectTest, StatementErrorOnACloneIsRecordedOnTheConnectionItself) {
  Open(1);
  fakedrv::FailCall("ExecuteSqlText", 1, 65, "bad");
  EXPECT_THROW(connection_->ExecuteSqlDirect("select x from t"), EDatabaseError);
  EXPECT_THAT(connection_->LastErrorText(), ::testing::HasSubstr("SQL Server Error: bad"));
  ASSERT_EQ(connection_->Clones().size(), 1u);
  EXPECT_EQ(connection_->Clones()[0]->LastErrorText(), "");
}

}  // namespace
}  // namespace tolvane
