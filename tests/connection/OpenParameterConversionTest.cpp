// How the parameter list's values become connection options at open: flags,
// isolation levels, integers and texts, as the fake driver receives them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "FakeDriverSetup.h"
#include "runtime/Exceptions.h"

namespace tolvane {
namespace {

class OpenParameterConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fakedrv::Reset();
    fakedrv::UseFakeDriver(platform_);
  }

  // Opens a runner-like connection with key=value written into its Params
  // and returns what reached SetConnectionOption for option_name, if
  // anything.
  std::optional<std::string> OptionFor(const std::string& key, const std::string& value,
                                       const std::string& option_name) {
    fakedrv::ClearLog();
    TSQLConnection connection(nullptr, platform_);
    fakedrv::ConfigureLikeRunner(connection, "/data/x.fdb");
    connection.Params().SetValue(key, value);
    connection.SetConnected(true);
    std::optional<std::string> found;
    const std::string prefix = "SetConnectionOption " + option_name + "=";
    for (const std::string& line : fakedrv::Log()) {
      if (line.rfind(prefix, 0) == 0) {
        EXPECT_FALSE(found) << "option passed twice";
        found = line.substr(prefix.size());
      }
    }
    return found;
  }

  testing::FakePlatform platform_;
};

TEST_F(OpenParameterConversionTest, FlagIsOneOnlyForTrueInAnyCaseWithBlanksAround) {
  EXPECT_EQ(OptionFor("AutoCommit", "True", "coAutoCommit"), "1");
  EXPECT_EQ(OptionFor("AutoCommit", "true", "coAutoCommit"), "1");
  EXPECT_EQ(OptionFor("AutoCommit", " TRUE ", "coAutoCommit"), "1");
  EXPECT_EQ(OptionFor("AutoCommit", "False", "coAutoCommit"), "0");
  EXPECT_EQ(OptionFor("AutoCommit", "Yes", "coAutoCommit"), "0");
  EXPECT_EQ(OptionFor("AutoCommit", "1", "coAutoCommit"), "0");
  EXPECT_EQ(OptionFor("AutoCommit", "   ", "coAutoCommit"), "0");
  EXPECT_EQ(OptionFor("AutoCommit", "", "coAutoCommit"), std::nullopt);
  EXPECT_EQ(OptionFor("os authentication", "true", "coOSAuthentication"), "1");
}

TEST_F(OpenParameterConversionTest, IsolationIsRecognisedInAnyCaseButNotWithABlankInFront) {
  EXPECT_EQ(OptionFor("Interbase TransIsolation", "RepeatableRead", "coTransIsolation"), "1");
  EXPECT_EQ(OptionFor("Interbase TransIsolation", "REPEATABLEread", "coTransIsolation"), "1");
  EXPECT_EQ(OptionFor("Interbase TransIsolation", "DirtyRead", "coTransIsolation"), "2");
  EXPECT_EQ(OptionFor("Interbase TransIsolation", "dirtyREAD", "coTransIsolation"), "2");
  EXPECT_EQ(OptionFor("Interbase TransIsolation", "ReadCommited", "coTransIsolation"), "0");
  EXPECT_EQ(OptionFor("Interbase TransIsolation", " RepeatableRead", "coTransIsolation"), "0");
}

TEST_F(OpenParameterConversionTest, IsolationKeyFollowsTheDriverName) {
  fakedrv::ClearLog();
  TSQLConnection connection(nullptr, platform_);
  fakedrv::ConfigureLikeRunner(connection, "/data/x.fdb");
  connection.SetDriverName("Other");
  connection.Params().SetValue("Interbase TransIsolation", "DirtyRead");
  connection.Params().SetValue("Other TransIsolation", "RepeatableRead");
  connection.SetConnected(true);
  EXPECT_THAT(fakedrv::Log(), ::testing::Contains("SetConnectionOption coTransIsolation=1"));
  EXPECT_THAT(fakedrv::Log(), ::testing::Not(::testing::Contains("SetConnectionOption coTransIsolation=2")));
}

TEST_F(OpenParameterConversionTest, IntegersAreTrimmedAndMayBeHexadecimal) {
  EXPECT_EQ(OptionFor("SqlDialect", " 3 ", "coSqlDialect"), "3");
  EXPECT_EQ(OptionFor("SqlDialect", "$10", "coSqlDialect"), "16");
  EXPECT_EQ(OptionFor("Connection Timeout", "0x1F", "coConnectionTimeout"), "31");
  EXPECT_EQ(OptionFor("BlobSize", " x20 ", "coBlobSize"), "32");
  EXPECT_EQ(OptionFor("BlobSize", "", "coBlobSize"), "-1");
  EXPECT_THROW(OptionFor("Connection Timeout", "ten", "coConnectionTimeout"), EConvertError);
}

TEST_F(OpenParameterConversionTest, TextsAreTrimmedAndABlankCharacterSetPassesNothing) {
  EXPECT_EQ(OptionFor("HostName", " db.local ", "coHostName"), "db.local");
  EXPECT_EQ(OptionFor("Custom String", "a=b", "coCustomString"), "a=b");
  EXPECT_EQ(OptionFor("ServerCharSet", " UTF8", "coServerCharSet"), "UTF8");
  EXPECT_EQ(OptionFor("ServerCharSet", "   ", "coServerCharSet"), std::nullopt);
  EXPECT_EQ(OptionFor("LocaleCode", "0000", "coLocaleCode"), std::nullopt);
}

}  // namespace
}  // namespace tolvane
