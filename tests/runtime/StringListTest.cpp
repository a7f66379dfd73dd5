#include "runtime/StringList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tolvane {
namespace {

std::vector<std::string> Split(std::string_view text) {
  TStringList list;
  list.Add("left over from before");
  list.SetText(text);
  return list.Lines();
}

using Lines = std::vector<std::string>;

TEST(LineSplitting, BreaksAndEmptyLines) {
  EXPECT_EQ(Split(""), Lines{});
  EXPECT_EQ(Split("A\r\n\r\nB"), (Lines{"A", "", "B"}));
  EXPECT_EQ(Split("A\n\rB"), (Lines{"A", "", "B"}));
  EXPECT_EQ(Split("A\rB\nC"), (Lines{"A", "B", "C"}));
  EXPECT_EQ(Split("A\r\n"), (Lines{"A"}));
  EXPECT_EQ(Split("A\r\n\r\n"), (Lines{"A", ""}));
  EXPECT_EQ(Split("\r\n\n\r"), (Lines{"", "", ""}));
  EXPECT_EQ(Split("\r\r"), (Lines{"", ""}));
}

TEST(LineSplitting, NothingIsTrimmed) {
  EXPECT_EQ(Split("   \n\tX \t"), (Lines{"   ", "\tX \t"}));
}

TEST(LineSplitting, BytesPassThroughUnchanged) {
  const std::string text = "\xe9\xff\x01\x7f";
  EXPECT_EQ(Split(text), (Lines{text}));
}

TEST(ParameterList, ReadsFirstMatchIgnoringCase) {
  TStringList list;
  list.Add("novalue");
  list.Add("User_Name=first");
  list.Add("USER_NAME=second");
  EXPECT_EQ(list.Values("user_name"), "first");
  EXPECT_EQ(list.Values("novalue"), "");
  EXPECT_EQ(list.Values("missing"), "");
}

TEST(ParameterList, ValueMayHoldEquals) {
  TStringList list;
  list.Add("Custom String=a=b=c");
  EXPECT_EQ(list.Values("Custom String"), "a=b=c");
}

TEST(ParameterList, NameWithBlankAroundDoesNotMatch) {
  TStringList list;
  list.Add(" Database=x");
  list.Add("Database =y");
  EXPECT_EQ(list.Values("Database"), "");
  EXPECT_EQ(list.IndexOfName("Database"), -1);
}

TEST(ParameterList, ReplaceKeepsPlaceAndWritersSpelling) {
  TStringList list;
  list.SetValue("User_Name", "SYSDBA");
  list.SetValue("Password", "x");
  list.SetValue("USER_NAME", "other");
  EXPECT_EQ(list.Lines(), (Lines{"USER_NAME=other", "Password=x"}));
}

TEST(ParameterList, EmptyValueDeletesFirstMatchOnly) {
  TStringList list;
  list.Add("A=1");
  list.Add("B=2");
  list.Add("a=3");
  list.SetValue("a", "");
  EXPECT_EQ(list.Lines(), (Lines{"B=2", "a=3"}));
  list.SetValue("absent", "");
  EXPECT_EQ(list.Lines(), (Lines{"B=2", "a=3"}));
}

TEST(ParameterList, AssignReplacesAllLines) {
  TStringList source;
  source.Add("X=1");
  source.Add("X=1");
  TStringList target;
  target.Add("Y=2");
  target.Assign(source);
  EXPECT_EQ(target.Lines(), (Lines{"X=1", "X=1"}));
}

TEST(ParameterList, WholeLineLookupIgnoresCase) {
  TStringList list;
  list.Add("Database=/DB");
  EXPECT_EQ(list.IndexOf("DATABASE=/db"), 0);
  EXPECT_EQ(list.IndexOf("Database=/db "), -1);
}

}  // namespace
}  // namespace tolvane
