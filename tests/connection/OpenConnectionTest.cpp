// Opening a connection against the scripted fake driver: the exact driver
// calls of the runner's open, what each kind of failure leaves behind, the
// login paths and the cursor notifications.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "FakeDriverSetup.h"
#include "RunnerConnectionFixture.h"
#include "runtime/Exceptions.h"

namespace tolvane {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;
using tolvane::testing::FakePlatform;
using tolvane::testing::PlatformCall;

class OpenConnectionTest : public RunnerConnectionFixture {
 protected:
  // Opens and expects the given message, of the given exception class.
  template <class E>
  void ExpectOpenFails(const std::string& message) {
    try {
      connection_->SetConnected(true);
      ADD_FAILURE() << "the open succeeded";
    } catch (const E& e) {
      EXPECT_EQ(e.Message(), message);
    }
  }
};

TEST_F(OpenConnectionTest, RunnerConfigurationMakesExactlyTheRunnersDriverCalls) {
  std::vector<std::string> loaded;
  platform_.load_library = [&loaded](const std::string& name) {
    loaded.push_back(name);
    return DefaultPlatform().LoadLibrary(fakedrv::kLibraryPath, nullptr);
  };

  connection_->SetConnected(true);

  EXPECT_THAT(loaded, ElementsAreArray({kRunnerLibraryName}));
  EXPECT_THAT(fakedrv::Log(), ElementsAreArray(fakedrv::RunnerOpenCalls("/data/x.fdb")));
  EXPECT_EQ(connection_->State(), connOpen);
  EXPECT_TRUE(connection_->Connected());
  EXPECT_EQ(connection_->IdentifierQuote(), "\"");
  EXPECT_EQ(connection_->HasTransactions(), -1);
  EXPECT_EQ(connection_->HasMultiTransactions(), 0);

  // Open again: nothing reaches the driver.
  fakedrv::ClearLog();
  connection_->SetConnected(true);
  EXPECT_TRUE(fakedrv::Log().empty());
}

TEST_F(OpenConnectionTest, DatabaseIsTrimmedAndTheFirstUserNameLineWins) {
  connection_->Params().SetValue("Database", "  /data/y.fdb ");
  connection_->Params().Add("USER_NAME=other");
  connection_->SetConnected(true);
  EXPECT_THAT(fakedrv::Log(),
              ::testing::Contains("AttachDatabase db=/data/y.fdb user=SYSDBA password=ravenquil"));
}

TEST_F(OpenConnectionTest, SettingsAreCheckedBeforeAnythingIsLoaded) {
  connection_->Params().SetValue("Database", "");
  ExpectOpenFails<EDatabaseError>("Missing Database property");
  connection_->SetConnectionName("");
  ExpectOpenFails<EDatabaseError>("Connection name missing");

  connection_->SetVendorLib("");
  connection_->SetName("Conn1");
  ExpectOpenFails<EDatabaseError>("Conn1: DLL/Shared Library Name not Set");

  EXPECT_EQ(connection_->State(), connClosed);
  EXPECT_EQ(platform_.Calls(PlatformCall::kLoadLibrary), 0);
}

TEST_F(OpenConnectionTest, LibraryThatCannotBeLoadedLeavesConnectingAndTheNextOpenRetriesAll) {
  connection_->SetLibraryName(std::string(" ") + kRunnerLibraryName + " ");
  platform_.FailNth(PlatformCall::kLoadLibrary, 1);
  ExpectOpenFails<EDatabaseError>(std::string("Unable to Load  ") + kRunnerLibraryName + " ");
  EXPECT_EQ(connection_->State(), connConnecting);
  EXPECT_FALSE(connection_->Connected());
  EXPECT_EQ(connection_->LibraryHandle(), nullptr);
  EXPECT_TRUE(fakedrv::Log().empty());

  // Loaded by the trimmed name the second time.
  connection_->SetConnected(true);
  EXPECT_EQ(platform_.Calls(PlatformCall::kLoadLibrary), 2);
  EXPECT_TRUE(connection_->Connected());
}

TEST_F(OpenConnectionTest, MissingEntryKeepsTheHandleAndTheNextOpenRepeatsOnlyTheLookup) {
  connection_->SetGetDriverFunc("noSuchEntry");
  ExpectOpenFails<EDatabaseError>("Unable to Find Procedure noSuchEntry");
  EXPECT_EQ(connection_->State(), connConnecting);
  EXPECT_NE(connection_->LibraryHandle(), nullptr);
  EXPECT_FALSE(connection_->Connected());

  connection_->SetGetDriverFunc(kRunnerGetDriverFunc);
  connection_->SetConnected(true);
  EXPECT_EQ(platform_.Calls(PlatformCall::kLoadLibrary), 1);
  EXPECT_EQ(platform_.Calls(PlatformCall::kFindSymbol), 2);
  EXPECT_TRUE(connection_->Connected());
}

TEST_F(OpenConnectionTest, RefusingEntryReportsTheVendorLibrary) {
  fakedrv::FailCall(fakedrv::kEntryName, 1, 22);
  ExpectOpenFails<EDatabaseError>(std::string("Unable to Load ") + kRunnerVendorLib);
  EXPECT_EQ(connection_->State(), connClosed);
  EXPECT_EQ(connection_->LibraryHandle(), nullptr);
  EXPECT_EQ(connection_->DriverIntf(), nullptr);
  EXPECT_EQ(fakedrv::Log().size(), 1u);
}

TEST_F(OpenConnectionTest, RefusedAttachDropsTheConnectionWithoutDetachAndKeepsTheDriver) {
  fakedrv::FailCall("AttachDatabase", 1, 21, "file /data/x.fdb not found");
  ExpectOpenFails<EDatabaseError>(
      "Driver Error: [0x0015]: Connection failed\r\nSQL Server Error: file /data/x.fdb not found");

  std::vector<std::string> log = fakedrv::Log();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log.back(), "Release ISQLConnection");
  EXPECT_THAT(log, Not(::testing::Contains(HasSubstr("DetachDatabase"))));
  EXPECT_EQ(connection_->State(), connClosed);
  EXPECT_EQ(connection_->LibraryHandle(), nullptr);
  EXPECT_EQ(connection_->ConnectionIntf(), nullptr);
  EXPECT_NE(connection_->DriverIntf(), nullptr);
  EXPECT_EQ(fakedrv::LiveReferences(fakedrv::Interface::kDriver), 1);
  EXPECT_EQ(fakedrv::LiveReferences(fakedrv::Interface::kConnection), 0);

  // The next open releases the old driver right before the entry fills it.
  fakedrv::ClearLog();
  connection_->SetConnected(true);
  EXPECT_EQ(fakedrv::Log().at(0), "Release ISQLDriver");
  EXPECT_EQ(fakedrv::LiveReferences(fakedrv::Interface::kDriver), 1);
}

TEST_F(OpenConnectionTest, DialectThatDoesNotConvertFailsBeforeTheAttachment) {
  connection_->Params().SetValue("SqlDialect", "x");
  ExpectOpenFails<EConvertError>("'x' is not a valid integer value");
  std::vector<std::string> log = fakedrv::Log();
  EXPECT_THAT(log, Not(::testing::Contains(HasSubstr("AttachDatabase"))));
  EXPECT_EQ(log.back(), "Release ISQLConnection");
  EXPECT_EQ(connection_->State(), connClosed);

  connection_->Params().SetValue("SqlDialect", "   ");
  ExpectOpenFails<EConvertError>("'' is not a valid integer value");
}

TEST_F(OpenConnectionTest, BlobSizeThatDoesNotConvertFailsAfterTheAttachmentAndKeepsMetaData) {
  connection_->Params().SetValue("BlobSize", "big");
  ExpectOpenFails<EConvertError>("'big' is not a valid integer value");
  std::vector<std::string> log = fakedrv::Log();
  EXPECT_THAT(log, ::testing::Contains(HasSubstr("AttachDatabase")));
  EXPECT_THAT(log, Not(::testing::Contains(HasSubstr("DetachDatabase"))));
  EXPECT_EQ(log.back(), "Release ISQLConnection");
  EXPECT_EQ(connection_->State(), connClosed);
  EXPECT_NE(connection_->MetaDataIntf(), nullptr);
  EXPECT_EQ(fakedrv::LiveReferences(fakedrv::Interface::kMetaData), 1);
}

TEST_F(OpenConnectionTest, FailingAfterConnectLeavesTheConnectionOpen) {
  int before = 0;
  connection_->SetBeforeConnect([&before](TSQLConnection&) { ++before; });
  connection_->SetAfterConnect([](TSQLConnection&) { throw std::runtime_error("after"); });
  EXPECT_THROW(connection_->SetConnected(true), std::runtime_error);
  EXPECT_EQ(before, 1);
  EXPECT_EQ(connection_->State(), connOpen);
  EXPECT_TRUE(connection_->Connected());
}

TEST_F(OpenConnectionTest, LoginHandlerDecidesWhatTheAttachmentUses) {
  connection_->SetLoginPrompt(true);
  connection_->SetOnLogin([](TSQLConnection&, TStringList& login) {
    EXPECT_THAT(login.Lines(), ElementsAreArray({"Database=/data/x.fdb", "USER_NAME=SYSDBA",
                                                 "PASSWORD=ravenquil"}));
    login.SetValue("PASSWORD", "secret");
    login.SetValue("USER_NAME", "");
  });
  connection_->SetConnected(true);
  EXPECT_THAT(fakedrv::Log(), ::testing::Contains("AttachDatabase db=/data/x.fdb user= password=secret"));
  EXPECT_THAT(fakedrv::Log(), Not(::testing::Contains(HasSubstr("moUserName"))));
}

TEST_F(OpenConnectionTest, CancelledLoginDialogFailsBeforeTheAttachment) {
  SetLoginDialogHook([](const std::string&, std::string&, std::string&, bool) { return false; });
  connection_->SetLoginPrompt(true);
  ExpectOpenFails<EDatabaseError>("Cannot connect to database 'IBConnection'");
  SetLoginDialogHook(nullptr);
  EXPECT_THAT(fakedrv::Log(), Not(::testing::Contains(HasSubstr("AttachDatabase"))));
  EXPECT_EQ(connection_->ConnectionIntf(), nullptr);
}

std::vector<int> g_cursors;

TEST_F(OpenConnectionTest, CursorNotificationsGoToTheHookAndBusyOnesCanBeSwitchedOff) {
  SetBusyCursorHook([](int cursor) { g_cursors.push_back(cursor); });
  g_cursors.clear();
  connection_->SetConnected(true);
  EXPECT_THAT(g_cursors, ElementsAreArray({-11, 0, -11, -11, 0}));

  connection_->SetConnected(false);
  connection_->SetBusyCursorEnabled(false);
  g_cursors.clear();
  connection_->SetConnected(true);
  SetBusyCursorHook(nullptr);
  EXPECT_THAT(g_cursors, ElementsAreArray({0, 0}));
}

}  // namespace
}  // namespace tolvane
