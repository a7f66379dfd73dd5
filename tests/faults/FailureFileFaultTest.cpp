// A failure file that cannot be written ends the run with a clear text and
// the failed line; lines already run stay run, the connection is closed, and
// nothing planted at a failure file's name is followed or damaged.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "FaultTestSupport.h"

namespace tolvane::testing::faults {
namespace {

using ::testing::ElementsAre;
using testing::PlatformCall;
namespace fs = std::filesystem;

std::string CreateError(const std::string& path, int error, const std::string& line) {
  return "Cannot create file \"" + path + "\". " + std::strerror(error) + "   -    " + line;
}

// A tmpfs of the given options at folder, unmounted when the test ends. Only
// root with mount rights gets one.
class ScopedTmpfs {
 public:
  ScopedTmpfs(const std::string& folder, const char* options) : folder_(folder) {
    mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options) == 0;
    error_ = errno;
  }
  ~ScopedTmpfs() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }
  std::string Why() const { return std::strerror(error_); }

 private:
  std::string folder_;
  bool mounted_ = false;
  int error_ = 0;
};

class FailureFileFaultTest : public ScriptRunFixture {};

TEST_F(FailureFileFaultTest, FolderThatIsAFileEndsTheRunAtTheFailedLine) {
  const std::string not_a_folder = folder_ + "/plain";
  std::ofstream(not_a_folder) << "x";
  SetFailureFolder(not_a_folder);
  RefuseBadLines();

  EXPECT_EQ(Run("first\nbad one\nlast\nbad two"),
            CreateError(not_a_folder + "/TESTE1.TXT", ENOTDIR, "bad one"));
  EXPECT_THAT(Executed(), ElementsAre("first", "bad one"));
  EXPECT_TRUE(LogHas("DetachDatabase"));
}

TEST_F(FailureFileFaultTest, ReadOnlyFolderEndsTheRunAtTheFailedLine) {
  const std::string read_only = folder_ + "/ro";
  fs::create_directory(read_only);
  int expected_error = EACCES;
  std::unique_ptr<ScopedTmpfs> mount;
  if (::geteuid() == 0) {
    // Root writes through any mode bits: only a read-only mount refuses it.
    mount = std::make_unique<ScopedTmpfs>(read_only, "size=64k");
    if (!mount->Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << mount->Why();
    ASSERT_EQ(::mount(nullptr, read_only.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);
    expected_error = EROFS;
  } else {
    fs::permissions(read_only, fs::perms::owner_read | fs::perms::owner_exec);
  }
  SetFailureFolder(read_only);
  RefuseBadLines();

  EXPECT_EQ(Run("first\r\nbad one\r\nlast"),
            CreateError(read_only + "/TESTE1.TXT", expected_error, "bad one"));
  EXPECT_THAT(Executed(), ElementsAre("first", "bad one"));
  EXPECT_TRUE(LogHas("DetachDatabase"));
  if (!mount) fs::permissions(read_only, fs::perms::owner_all);
}

TEST_F(FailureFileFaultTest, WriteRefusedEndsTheRunAndKeepsEarlierFiles) {
  RefuseBadLines();
  platform_.FailNth(PlatformCall::kWriteFile, 2, ENOSPC);

  EXPECT_EQ(Run("bad zero\nfine\nbad two\nlast\nbad four"), "Stream write error   -    bad two");
  EXPECT_THAT(Executed(), ElementsAre("bad zero", "fine", "bad two"));
  EXPECT_EQ(ReadFile(FailurePath(0)), FailureRecord("bad zero"));
  EXPECT_FALSE(fs::exists(FailurePath(4)));
  EXPECT_TRUE(LogHas("DetachDatabase"));
}

TEST_F(FailureFileFaultTest, FullFileSystemGivesStreamWriteError) {
  const std::string small = folder_ + "/small";
  fs::create_directory(small);
  ScopedTmpfs mount(small, "size=4k");
  if (!mount.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << mount.Why();
  {
    // Fill every page the file system has.
    std::ofstream filler(small + "/filler", std::ios::binary);
    const std::string page(4096, 'f');
    for (int i = 0; i < 16 && filler; ++i) filler.write(page.data(), page.size()).flush();
  }
  SetFailureFolder(small);
  RefuseBadLines();

  EXPECT_EQ(Run("first\nbad one\nlast"), "Stream write error   -    bad one");
  EXPECT_THAT(Executed(), ElementsAre("first", "bad one"));
  EXPECT_TRUE(LogHas("DetachDatabase"));
}

TEST_F(FailureFileFaultTest, SymbolicLinkAtTheNameIsNeverFollowed) {
  const std::string victim = folder_ + "/victim";
  std::ofstream(victim) << "precious\n";
  fs::create_symlink(victim, FailurePath(1));
  const std::string nowhere = folder_ + "/created-through-link";
  fs::create_symlink(nowhere, FailurePath(2));
  RefuseBadLines();

  EXPECT_EQ(Run("first\nbad one\nlast"), CreateError(FailurePath(1), ELOOP, "bad one"));
  EXPECT_EQ(ReadFile(victim), "precious\n");
  EXPECT_TRUE(fs::is_symlink(FailurePath(1)));

  EXPECT_EQ(Run("first\nfine\nbad two"), CreateError(FailurePath(2), ELOOP, "bad two"));
  EXPECT_FALSE(fs::exists(nowhere));
}

TEST_F(FailureFileFaultTest, HardLinkAtTheNameIsRefusedAndItsFileUntouched) {
  const std::string victim = folder_ + "/victim";
  std::ofstream(victim) << "precious\n";
  fs::create_hard_link(victim, FailurePath(1));
  RefuseBadLines();

  EXPECT_EQ(Run("first\nbad one\nlast"), CreateError(FailurePath(1), EMLINK, "bad one"));
  EXPECT_EQ(ReadFile(victim), "precious\n");
  EXPECT_EQ(fs::hard_link_count(victim), 2u);
}

// Another holder of the failure file is waited for: one that lets go within
// the wait sees the whole record written after it, one that does not leaves
// its file as it was and the run ends with the create error once the wait
// is over, not before.
TEST_F(FailureFileFaultTest, FileHeldByAnotherIsWaitedForABoundedTime) {
  using std::chrono::milliseconds;
  struct Row {
    const char* name;
    milliseconds wait;
    milliseconds held;  // zero: held until the run has ended
  };
  const Row rows[] = {
      {"let go within the default wait", kFileHolderWait, milliseconds(150)},
      {"held past a short wait", milliseconds(200), milliseconds(0)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fakedrv::Reset();
    RefuseBadLines();
    platform_.SetHolderWait(row.wait);

    const int holder = ::open(FailurePath(1).c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    ASSERT_EQ(::write(holder, "held\n", 5), 5);
    std::thread release;
    if (row.held.count() > 0) release = std::thread([&] {
      std::this_thread::sleep_for(row.held);
      ::close(holder);
    });

    const auto started = std::chrono::steady_clock::now();
    const std::string result = Run("first\nbad one\nlast");
    const auto took = std::chrono::steady_clock::now() - started;
    if (release.joinable())
      release.join();
    else
      ::close(holder);

    if (row.held.count() > 0) {
      EXPECT_EQ(result, "ok");
      EXPECT_EQ(ReadFile(FailurePath(1)), FailureRecord("bad one"));
      EXPECT_EQ(Executed().back(), "last");
      EXPECT_GE(took, row.held);
    } else {
      EXPECT_EQ(result, CreateError(FailurePath(1), EWOULDBLOCK, "bad one"));
      EXPECT_EQ(ReadFile(FailurePath(1)), "held\n");
      EXPECT_EQ(Executed().back(), "bad one");
      EXPECT_GE(took, row.wait);
      EXPECT_LT(took, row.wait + milliseconds(2000)) << "waited far past the bound";
    }
  }
}

TEST_F(FailureFileFaultTest, FifoOrFolderAtTheNameFailsAtOnce) {
  ASSERT_EQ(::mkfifo(FailurePath(0).c_str(), 0644), 0);
  fs::create_directory(FailurePath(1));
  RefuseBadLines();

  // A FIFO opens without a reader for reading and writing, but can never be
  // emptied: the run must end there, not wait for a reader.
  EXPECT_EQ(Run("bad zero"), CreateError(FailurePath(0), EINVAL, "bad zero"));
  EXPECT_EQ(Run("fine\nbad one"), CreateError(FailurePath(1), EISDIR, "bad one"));
  EXPECT_TRUE(fs::is_fifo(FailurePath(0)));
  EXPECT_TRUE(fs::is_directory(FailurePath(1)));
}

}  // namespace
}  // namespace tolvane::testing::faults
