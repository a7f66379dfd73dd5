#include "runtime/Conversions.h"

#include <gtest/gtest.h>

#include "runtime/Exceptions.h"
#include "runtime/Text.h"

namespace tolvane {
namespace {

TEST(IntegerConversion, DecimalWithSigns) {
  EXPECT_EQ(StrToInt("3"), 3);
  EXPECT_EQ(StrToInt("+42"), 42);
  EXPECT_EQ(StrToInt("-17"), -17);
  EXPECT_EQ(StrToInt("007"), 7);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
}

TEST(IntegerConversion, HexadecimalForms) {
  EXPECT_EQ(StrToInt("$1F"), 31);
  EXPECT_EQ(StrToInt("x1f"), 31);
  EXPECT_EQ(StrToInt("0x10"), 16);
  EXPECT_EQ(StrToInt("-$10"), -16);
  EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
}

TEST(IntegerConversion, RejectsEverythingElseWithTheTextInTheMessage) {
  for (const char* text : {"", " 3", "3 ", "x", "$", "0x", "1.5", "1e3", "--1", "+", "2147483648",
                           "-2147483649", "$100000000", "12a", "0xG"}) {
    try {
      StrToInt(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + text + "' is not a valid integer value");
    }
  }
}

TEST(Flags, TrueOnlyForTrimmedTrueInAnyCase) {
  EXPECT_TRUE(IsTrueFlag("True"));
  EXPECT_TRUE(IsTrueFlag("true"));
  EXPECT_TRUE(IsTrueFlag(" TRUE \t"));
  for (const char* text : {"False", "Yes", "1", "T", "   ", "", "TRUE1", "TR UE"})
    EXPECT_FALSE(IsTrueFlag(text)) << text;
}

TEST(Text, TrimRemovesCodesZeroToThirtyTwoOnly) {
  EXPECT_EQ(Trim(std::string("\0\x01 a b\x20\x1f", 7)), "a b");
  EXPECT_EQ(Trim("\x7f" "a"), "\x7f" "a");
  EXPECT_EQ(Trim("   "), "");
}

TEST(Text, CaseRulesTouchAsciiLettersOnly) {
  EXPECT_EQ(UpperAscii("abc\xe9z"), "ABC\xe9Z");
  EXPECT_TRUE(SameTextAscii("ReadCommited", "READCOMMITED"));
  EXPECT_FALSE(SameTextAscii("\xe9", "\xc9"));
}

TEST(Text, FormatFillsEachPlaceholderWithText) {
  EXPECT_EQ(Format("Unable to Load %s", {"libx.so"}), "Unable to Load libx.so");
  EXPECT_EQ(Format("%s: %s", {"Clone1", "100% %s"}), "Clone1: 100% %s");
  EXPECT_EQ(Format("%s and %s", {"one"}), "one and %s");
}

}  // namespace
}  // namespace tolvane
