#include "runtime/FileWriter.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "fakes/support/FakePlatform.h"
#include "runtime/Exceptions.h"
#include "runtime/StringList.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

class FileWriting : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tolvane-fw-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }

  fs::path dir_;
};

TEST_F(FileWriting, EveryLineEndsWithCrLf) {
  TStringList list;
  list.Add("insert into t values (1) - /db/x.fdb");
  list.Add("");
  list.SaveToFile(DefaultPlatform(), dir_ / "f.txt");
  EXPECT_EQ(Read(dir_ / "f.txt"), "insert into t values (1) - /db/x.fdb\r\n\r\n");
}

TEST_F(FileWriting, ExistingFileIsReplacedNotAppended) {
  std::ofstream(dir_ / "f.txt") << "a much longer text from an earlier run\n";
  WriteWholeFile(DefaultPlatform(), dir_ / "f.txt", "new\r\n");
  EXPECT_EQ(Read(dir_ / "f.txt"), "new\r\n");
}

TEST_F(FileWriting, PlantedSymbolicLinkIsRefusedAndItsTargetUntouched) {
  std::ofstream(dir_ / "target") << "precious";
  fs::create_symlink(dir_ / "target", dir_ / "f.txt");
  const std::string path = dir_ / "f.txt";
  try {
    WriteWholeFile(DefaultPlatform(), path, "evil\r\n");
    FAIL() << "followed a symbolic link";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message().rfind("Cannot create file \"" + path + "\". ", 0), 0u) << e.Message();
  }
  EXPECT_EQ(Read(dir_ / "target"), "precious");
}

TEST_F(FileWriting, FileHeldByAnotherGivesCreateErrorAndKeepsItsContent) {
  const std::string path = dir_ / "f.txt";
  std::ofstream(path) << "held";
  int fd = ::open(path.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  // A short wait: the holder never lets go while the write is tried.
  EXPECT_THROW(WriteWholeFile(*MakePosixPlatform(std::chrono::milliseconds(20)), path, "x"),
               EFCreateError);
  ::close(fd);
  EXPECT_EQ(Read(path), "held");
}

TEST_F(FileWriting, MissingFolderNamesPathAndSystemText) {
  const std::string path = dir_ / "missing" / "f.txt";
  try {
    WriteWholeFile(DefaultPlatform(), path, "x");
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "Cannot create file \"" + path + "\". No such file or directory");
  }
}

TEST_F(FileWriting, FailedWriteIsStreamWriteError) {
  testing::FakePlatform platform;
  platform.FailNth(testing::PlatformCall::kWriteFile, 1, ENOSPC);
  try {
    WriteWholeFile(platform, dir_ / "f.txt", "x\r\n");
    FAIL();
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.Message(), "Stream write error");
  }
}

}  // namespace
}  // namespace tolvane
