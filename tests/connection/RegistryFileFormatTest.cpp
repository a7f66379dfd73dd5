// The registry file format, read straight from texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "connection/RegistryFileParser.h"

namespace tolvane {
namespace {

using Lines = std::vector<std::string>;
using namespace std::string_literals;

Lines Section(std::string_view text, std::string_view name) {
  return RegistrySectionLines(text, name).Lines();
}

TEST(RegistryFileFormat, SectionsMatchInAnyCaseAndOnlyTheLastOfANameIsRead) {
  const std::string text =
      "[IBConnection]\nDatabase=/first\nUser_Name=a\n"
      "[Other]\nDatabase=/other\n"
      "[ibconnection]\nDatabase=/second\n";
  EXPECT_EQ(Section(text, "IBCONNECTION"), Lines{"Database=/second"});
  EXPECT_EQ(Section(text, "other"), Lines{"Database=/other"});
  EXPECT_EQ(Section(text, "Missing"), Lines{});
  EXPECT_EQ(ParseRegistryFile(text).size(), 3u);
}

TEST(RegistryFileFormat, LinesAreTrimmedAndSplitAroundTheFirstEquals) {
  const std::string text =
      "  [  Driver  ]  \r\n"
      "\tVendorLib   =  libclient.so \t\r\n"
      "Custom String = a=b = c\r\n"
      "LibraryName=\r\n"
      "VENDORLIB=second\r\n"
      "   \r\n"
      "no equals here \r\n"
      "[unclosed\r\n";
  TStringList lines = RegistrySectionLines(text, "driver");
  EXPECT_EQ(lines.Lines(), (Lines{"VendorLib=libclient.so", "Custom String=a=b = c", "LibraryName=",
                                  "VENDORLIB=second", "no equals here", "[unclosed"}));
  EXPECT_EQ(lines.Values("vendorlib"), "libclient.so");
  EXPECT_EQ(lines.Values("Custom String"), "a=b = c");
  // The first of a key wins; an empty value reads like a missing key; a line
  // without "=" is never found.
  EXPECT_EQ(lines.Values("LibraryName"), "");
  EXPECT_EQ(lines.Values("no equals here"), "");
}

TEST(RegistryFileFormat, OnlySemicolonStartsAComment) {
  const std::string text =
      "Outside=ignored\n"
      "[S]\n"
      "; Database=/commented\n"
      "#Database=/hash\n"
      "   ;Indented=comment\n";
  TStringList lines = RegistrySectionLines(text, "S");
  EXPECT_EQ(lines.Lines(), Lines{"#Database=/hash"});
  EXPECT_EQ(lines.Values("#Database"), "/hash");
  EXPECT_EQ(lines.Values("Database"), "");
  EXPECT_EQ(lines.Values("Outside"), "");
}

TEST(RegistryFileFormat, BreaksAtCrLfOrCrLfAndEndsAtNul) {
  const std::string text = "[S]\rA=1\nB=2\r\nC=3\n\rD=4\0[S]\nE=5\n"s;
  EXPECT_EQ(Section(text, "S"), (Lines{"A=1", "B=2", "C=3", "D=4"}));
  EXPECT_EQ(Section("\0[S]\nA=1"s, "S"), Lines{});
}

}  // namespace
}  // namespace tolvane
