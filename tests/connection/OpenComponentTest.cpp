// Properties written while the component is open: the setters that refuse,
// and the two that close the connection first.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "RunnerConnectionFixture.h"
#include "runtime/Exceptions.h"

namespace tolvane {
namespace {

using ::testing::ElementsAreArray;
using Lines = std::vector<std::string>;

class OpenComponentTest : public RunnerConnectionFixture {
 protected:
  void SetUp() override {
    RunnerConnectionFixture::SetUp();
    connection_->SetName("Conn1");
    connection_->SetBeforeDisconnect([this](TSQLConnection&) { events_.push_back("before"); });
    connection_->SetAfterDisconnect([this](TSQLConnection&) { events_.push_back("after"); });
    connection_->SetConnected(true);
    fakedrv::ClearLog();
  }

  std::vector<std::string> events_;
};

TEST_F(OpenComponentTest, DriverNameAndParamsAsAWholeAreRefusedAndNothingChanges) {
  const Lines params = connection_->Params().Lines();
  TStringList other;
  other.Add("Database=/data/other.fdb");
  struct Row {
    const char* name;
    std::function<void()> write;
  };
  const Row rows[] = {
      {"DriverName", [this] { connection_->SetDriverName("Other"); }},
      {"Params", [&] { connection_->SetParams(other); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    try {
      row.write();
      ADD_FAILURE() << "the write went through";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), "Conn1: Cannot perform this operation on an open connection");
    }
  }
  EXPECT_EQ(connection_->DriverName(), "Interbase");
  EXPECT_EQ(connection_->Params().Lines(), params);
  EXPECT_TRUE(connection_->Connected());
  EXPECT_TRUE(fakedrv::Log().empty());
  // The same driver name is no change and is not refused.
  EXPECT_NO_THROW(connection_->SetDriverName("Interbase"));
}

TEST_F(OpenComponentTest, NewConnectionNameOrKeepConnectionOffClosesWithTheEvents) {
  struct Row {
    const char* name;
    std::function<void(TSQLConnection&)> write;
    int attachment;  // the fake driver numbers each attachment of the test
  };
  const Row rows[] = {
      {"ConnectionName", [](TSQLConnection& c) { c.SetConnectionName("Other"); }, 1},
      {"KeepConnection", [](TSQLConnection& c) { c.SetKeepConnection(false); }, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (!connection_->Connected()) {
      connection_->SetKeepConnection(true);
      connection_->SetConnected(true);
    }
    fakedrv::ClearLog();
    events_.clear();

    row.write(*connection_);
    EXPECT_THAT(events_, ElementsAreArray({"before", "after"}));
    EXPECT_THAT(fakedrv::Log(), ElementsAreArray(fakedrv::CloseCalls(row.attachment)));
    EXPECT_FALSE(connection_->Connected());
    EXPECT_EQ(connection_->State(), connClosed);

    // Written again with the same value: nothing more happens.
    row.write(*connection_);
    EXPECT_EQ(events_.size(), 2u);
  }
  EXPECT_EQ(connection_->ConnectionName(), "Other");
  EXPECT_FALSE(connection_->KeepConnection());
  // The driver name was set, so a new connection name wiped nothing.
  EXPECT_EQ(connection_->Params().Values("Database"), "/data/x.fdb");
}

}  // namespace
}  // namespace tolvane
