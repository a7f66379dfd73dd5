// The platform's reads the tool builds on: a script file read at offsets, a
// file's write time against the clock it is stamped from, a link told from
// what it leads to, and a library that will not load with the loader's reason.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "runtime/Platform.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

class PlatformReads : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tolvane-reads-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Write(const char* name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return dir_ / name;
  }

  Platform& platform_ = DefaultPlatform();
  fs::path dir_;
};

TEST_F(PlatformReads, ReadAtGivesTheBytesAtAnOffsetAndZeroAtTheEnd) {
  const fs::path file = Write("script.sql", "0123456789");
  FileFacts facts;
  int error = 0;
  const int fd = platform_.OpenForReading(file.string(), &facts, &error);
  ASSERT_GE(fd, 0) << platform_.ErrorText(error);
  EXPECT_TRUE(facts.regular);
  EXPECT_EQ(facts.size, 10u);
  struct Case {
    std::uint64_t offset;
    std::size_t count;
    std::string bytes;
  };
  for (const Case& c : {Case{3, 4, "3456"}, Case{8, 5, "89"}, Case{10, 4, ""}, Case{0, 10, "0123456789"}}) {
    std::string buffer(c.count, '\0');
    const long n = platform_.ReadAt(fd, buffer.data(), c.count, c.offset, &error);
    ASSERT_GE(n, 0) << "offset " << c.offset;
    EXPECT_EQ(buffer.substr(0, static_cast<std::size_t>(n)), c.bytes) << "offset " << c.offset;
  }
  platform_.CloseFile(fd);
}

TEST_F(PlatformReads, WhatIsOpenedIsToldAndWhatIsMissingIsAnError) {
  FileFacts facts;
  int error = 0;
  const int fd = platform_.OpenForReading(dir_.string(), &facts, &error);
  ASSERT_GE(fd, 0);
  EXPECT_FALSE(facts.regular);
  EXPECT_TRUE(facts.folder);
  platform_.CloseFile(fd);
  EXPECT_EQ(platform_.OpenForReading((dir_ / "absent").string(), &facts, &error), -1);
  EXPECT_EQ(error, ENOENT);
}

TEST_F(PlatformReads, LinkFactsDescribeTheLinkItselfAndFollowingFactsItsFile) {
  const fs::path file = Write("TESTE1.TXT", "x");
  fs::create_symlink(file, dir_ / "TESTE2.TXT");
  FileFacts link;
  ASSERT_EQ(platform_.ReadLinkFacts((dir_ / "TESTE2.TXT").string(), &link), 0);
  EXPECT_TRUE(link.link);
  EXPECT_FALSE(link.regular);
  FileFacts followed;
  ASSERT_EQ(platform_.ReadFileFacts((dir_ / "TESTE2.TXT").string(), &followed), 0);
  EXPECT_TRUE(followed.regular);
  FileFacts target;
  ASSERT_EQ(platform_.ReadLinkFacts(file.string(), &target), 0);
  EXPECT_EQ(followed.identity, target.identity);
  EXPECT_FALSE(link.identity == target.identity);
  FileFacts missing;
  EXPECT_EQ(platform_.ReadLinkFacts((dir_ / "absent").string(), &missing), ENOENT);
}

// A failure file written right after a run begins must never read as older
// than its start, or the tool would miss it.
TEST_F(PlatformReads, AFileWrittenAfterTheClockIsReadIsNeverOlder) {
  for (int round = 0; round < 200; ++round) {
    const std::int64_t before = platform_.FileClockNow();
    const fs::path file = Write("TESTE1.TXT", std::to_string(round));
    FileFacts facts;
    ASSERT_EQ(platform_.ReadLinkFacts(file.string(), &facts), 0);
    ASSERT_GE(facts.written, before) << "round " << round;
  }
}

TEST_F(PlatformReads, ALibraryThatWillNotLoadGivesTheLoadersReason) {
  const fs::path file = Write("UDFTolvane.so", "not a library");
  std::string reason;
  EXPECT_EQ(platform_.LoadLibrary(file.string(), &reason), nullptr);
  EXPECT_NE(reason.find(file.string()), std::string::npos) << reason;
}

}  // namespace
}  // namespace tolvane
