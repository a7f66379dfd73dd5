// Messages built from a refused driver call: the result-code table, the
// driver object's own text, and the previous error of the connection.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "connection/DriverErrors.h"
#include "connection/SQLConnection.h"
#include "runtime/Exceptions.h"

namespace tolvane {
namespace {

// The error-text half of a driver object, scripted by the test. The object
// lives on the test's stack: Release never deletes it.
struct ScriptedErrorText {
  std::string text;                  // what GetErrorText copies
  std::int16_t length = -1;          // reported length; -1 means text.size()
  DriverResult length_result = 0;
  DriverResult text_result = 0;
  bool copy_nul = true;              // whether the copy carries its NUL
  int length_calls = 0;
  int text_calls = 0;
  bool buffer_was_zeroed = false;

  DriverResult Length(std::int16_t* out) {
    ++length_calls;
    if (length_result != 0) return length_result;
    *out = length >= 0 ? length : static_cast<std::int16_t>(text.size());
    return 0;
  }
  DriverResult Text(char* buffer) {
    ++text_calls;
    std::int16_t announced = length >= 0 ? length : static_cast<std::int16_t>(text.size());
    buffer_was_zeroed = true;
    for (int i = 0; i <= announced; ++i) buffer_was_zeroed &= buffer[i] == '\0';
    if (text_result != 0) return text_result;
    std::memcpy(buffer, text.data(), text.size());
    if (copy_nul) buffer[text.size()] = '\0';
    return 0;
  }
};

class StubConnection final : public ISQLConnection {
 public:
  ScriptedErrorText error;
  int references = 1;

  std::uint32_t AddRef() noexcept override { return static_cast<std::uint32_t>(++references); }
  std::uint32_t Release() noexcept override { return static_cast<std::uint32_t>(--references); }
  DriverResult AttachDatabase(const char*, const char*, const char*) noexcept override { return 0; }
  DriverResult DetachDatabase() noexcept override { return 0; }
  DriverResult CreateCommand(ISQLStatement**) noexcept override { return kDriverNotSupported; }
  DriverResult CreateMetaData(ISQLMetaData**) noexcept override { return kDriverNotSupported; }
  DriverResult SetConnectionOption(ConnectionOption, OptionValue) noexcept override { return 0; }
  DriverResult GetConnectionOption(ConnectionOption, void*, std::int16_t,
                                   std::int16_t*) noexcept override {
    return kDriverNotSupported;
  }
  DriverResult GetErrorText(char* buffer) noexcept override { return error.Text(buffer); }
  DriverResult GetErrorTextLength(std::int16_t* length) noexcept override {
    return error.Length(length);
  }
};

class StubStatement final : public ISQLStatement {
 public:
  ScriptedErrorText error;

  std::uint32_t AddRef() noexcept override { return 1; }
  std::uint32_t Release() noexcept override { return 1; }
  DriverResult SetStatementOption(StatementOption, OptionValue) noexcept override { return 0; }
  DriverResult ExecuteSqlText(const char*, ISQLRowCursor** cursor) noexcept override {
    *cursor = nullptr;
    return 0;
  }
  DriverResult GetAffectedRowCount(std::uint32_t* rows) noexcept override {
    *rows = 0;
    return 0;
  }
  DriverResult CloseStatement() noexcept override { return 0; }
  DriverResult GetErrorText(char* buffer) noexcept override { return error.Text(buffer); }
  DriverResult GetErrorTextLength(std::int16_t* length) noexcept override {
    return error.Length(length);
  }
};

// A component holding the stub connection as its ConnectionIntf.
class HeldConnection : public TSQLConnection {
 public:
  explicit HeldConnection(StubConnection* stub) : TSQLConnection(nullptr) {
    if (stub != nullptr) AdoptConnectionIntfForTesting(stub);
  }
};

class DriverErrors : public ::testing::Test {
 protected:
  // The message RaiseDriverError raises; it must raise.
  std::string Raised(DriverResult code, ErrorSource source = esConnection,
                     ISQLStatement* statement = nullptr) {
    try {
      connection_.RaiseDriverError(code, source, statement);
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), connection_.LastErrorText());
      return e.Message();
    }
    ADD_FAILURE() << "RaiseDriverError returned";
    return {};
  }

  StubConnection stub_;
  // Held by pointer: the component's destructor may raise, a fixture's may not.
  std::unique_ptr<HeldConnection> held_ = std::make_unique<HeldConnection>(&stub_);
  HeldConnection& connection_ = *held_;
};

TEST_F(DriverErrors, TableTextAloneWhenTheDriverHasNoText) {
  EXPECT_EQ(Raised(21), "Driver Error: [0x0015]: Connection failed");
  EXPECT_EQ(stub_.error.text_calls, 0);
  EXPECT_EQ(Raised(11), "Driver Error: Driver Error [0x000B]: Parameter Not Set");
  EXPECT_EQ(Raised(12), "Driver Error: [0x000C] Invalid Username/Password");
}

TEST_F(DriverErrors, TableTextAndDriverTextJoinedByCrLf) {
  stub_.error.text = "lock conflict";
  EXPECT_EQ(Raised(64), "Driver Error: [0x0064]: No more data\r\nSQL Server Error: lock conflict");
  EXPECT_EQ(Raised(65), "Driver Error: [0x0065]: SQL Error\r\nSQL Server Error: lock conflict");
}

TEST_F(DriverErrors, CodeAboveTheTableUsesTheDriverTextAlone) {
  stub_.error.text = "boom";
  EXPECT_EQ(Raised(200), "SQL Server Error: boom");
}

TEST_F(DriverErrors, WithoutAnyTextThePreviousErrorRepeats) {
  EXPECT_EQ(Raised(200), "Driver Error: Unknown Error Code '200'");
  EXPECT_EQ(Raised(21), "Driver Error: [0x0015]: Connection failed");
  EXPECT_EQ(Raised(200), "Driver Error: [0x0015]: Connection failed");
  EXPECT_EQ(Raised(0), "Driver Error: [0x0015]: Connection failed");
  // A new connection name forgets the previous error.
  connection_.SetConnectionName("Other");
  EXPECT_EQ(Raised(65535), "Driver Error: Unknown Error Code '65535'");
}

TEST_F(DriverErrors, CodesWithoutARowSayTheyAreUnknown) {
  EXPECT_EQ(Raised(18), "Driver Error: [0x0012]: Unknown driver result");
  EXPECT_EQ(Raised(26), "Driver Error: [0x001A]: Unknown driver result");
  EXPECT_EQ(Raised(100), "Driver Error: [0x0064]: Unknown driver result");
  EXPECT_EQ(DriverResultTableText(0), "");
  EXPECT_EQ(DriverResultTableText(101), "");
  EXPECT_EQ(DriverErrorTexts.size(), 26u);
  EXPECT_EQ(DriverErrorTexts[0], "");
  EXPECT_EQ(DriverErrorTexts[25], "[0x0019]: No table found");
}

TEST_F(DriverErrors, TextIsReadIntoAZeroedBufferOneByteLongerThanAnnounced) {
  stub_.error.text = "abcde";
  stub_.error.copy_nul = false;  // only the spare zero byte ends it
  EXPECT_EQ(Raised(200), "SQL Server Error: abcde");
  EXPECT_TRUE(stub_.error.buffer_was_zeroed);
  // A driver that announces more than it writes: the text ends at its NUL.
  stub_.error.copy_nul = true;
  stub_.error.length = 9;
  EXPECT_EQ(Raised(200), "SQL Server Error: abcde");
}

TEST_F(DriverErrors, RefusedOrEmptyTextCallsContributeNothing) {
  stub_.error.text = "never shown";
  stub_.error.length_result = kDriverInvalidHandle;
  EXPECT_EQ(Raised(21), "Driver Error: [0x0015]: Connection failed");
  EXPECT_EQ(stub_.error.text_calls, 0);

  stub_.error.length_result = 0;
  stub_.error.length = 0;
  EXPECT_EQ(Raised(4), "Driver Error: [0x0004]: Invalid Handle");
  EXPECT_EQ(stub_.error.text_calls, 0);

  stub_.error.length = -1;
  stub_.error.text_result = kDriverInvalidHandle;
  EXPECT_EQ(Raised(9), "Driver Error: [0x0009]: Invalid Parameter");
  EXPECT_EQ(stub_.error.text_calls, 1);
}

TEST_F(DriverErrors, StatementSourceAsksTheStatementNotTheConnection) {
  StubStatement statement;
  statement.error.text = "table unknown";
  stub_.error.text = "connection text";
  EXPECT_EQ(Raised(65, esStatement, &statement),
            "Driver Error: [0x0065]: SQL Error\r\nSQL Server Error: table unknown");
  EXPECT_EQ(stub_.error.length_calls, 0);
}

TEST_F(DriverErrors, CheckDriverResultPassesZeroAndAsksTheConnection) {
  EXPECT_EQ(connection_.CheckDriverResult(0), 0);
  EXPECT_EQ(stub_.error.length_calls, 0);
  stub_.error.text = "attach refused";
  try {
    connection_.CheckDriverResult(21);
    FAIL() << "no exception";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Driver Error: [0x0015]: Connection failed\r\nSQL Server Error: attach refused");
  }
}

TEST(DriverErrorsWithoutObjects, MissingSourceStillRaisesAndNamesNoComponent) {
  HeldConnection connection(nullptr);
  connection.SetName("Clone1");
  EXPECT_THROW(
      {
        try {
          connection.CheckDriverResult(22);
        } catch (const EDatabaseError& e) {
          EXPECT_EQ(e.Message(), "Driver Error: [0x0016]: Driver initialization failed");
          throw;
        }
      },
      EDatabaseError);
  EXPECT_THROW(connection.RaiseDriverError(200, esStatement, nullptr), EDatabaseError);
  EXPECT_EQ(connection.LastErrorText(), "Driver Error: [0x0016]: Driver initialization failed");
}

}  // namespace
}  // namespace tolvane
