// The system's own answers to what it needs of the operating system:
//  - create-or-replace with no sharing: open(O_RDWR|O_CREAT|O_NOFOLLOW|
//    O_CLOEXEC, 0644); anything but a regular file with one link refused
//    (fstat); then an exclusive flock, tried without blocking and again after
//    short pauses until the wait runs out, taken before the file is
//    truncated, so a file another call holds is never emptied or mixed;
//  - the settings key: environment variables (see SettingVariable);
//  - the executable's path: /proc/self/exe;
//  - libraries: dlopen(RTLD_NOW | RTLD_LOCAL), never dlclose.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#include "runtime/Platform.h"

namespace tolvane {
namespace {

// The two registry values come from the process's environment.
const char* SettingVariable(const std::string& name) {
  if (name == "Driver Registry File") return "TOLVANE_DRIVER_REGISTRY_FILE";
  if (name == "Connection Registry File") return "TOLVANE_CONNECTION_REGISTRY_FILE";
  return nullptr;
}

// 0 when fd is a regular file with exactly one name. Otherwise the error to
// give: EINVAL for a FIFO or device (as truncating it would), EMLINK for a
// file with other names, ENOENT for one removed since it was opened.
int RefuseUnlessSoleRegularFile(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  if (st.st_nlink > 1) return EMLINK;
  if (st.st_nlink == 0) return ENOENT;
  return 0;
}

// Takes the exclusive lock, waiting at most wait for another holder.
int LockWithin(int fd, std::chrono::milliseconds wait) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + wait;
  std::chrono::nanoseconds pause = std::chrono::milliseconds(1);
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
    const int failure = errno;
    if (failure == EINTR) continue;
    const Clock::time_point now = Clock::now();
    if (failure != EWOULDBLOCK || now >= deadline) return failure;
    std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(pause, deadline - now));
    pause = std::min<std::chrono::nanoseconds>(pause * 2, std::chrono::milliseconds(50));
  }
}

class PosixPlatform final : public Platform {
 public:
  explicit PosixPlatform(std::chrono::milliseconds holder_wait) : holder_wait_(holder_wait) {}

  int CreateFileExclusive(const std::string& path, int* error) override {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
      *error = errno;
      return -1;
    }
    int failure = RefuseUnlessSoleRegularFile(fd);
    if (failure == 0) failure = LockWithin(fd, holder_wait_);
    if (failure == 0 && ::ftruncate(fd, 0) != 0) failure = errno;
    if (failure != 0) {
      *error = failure;
      ::close(fd);
      return -1;
    }
    return fd;
  }

  int CreateNewFile(const std::string& path, int* error) override {
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0640);
    if (fd < 0) *error = errno;
    return fd;
  }

  long WriteFile(int fd, const void* data, std::size_t size, int* error) override {
    const char* p = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
      ssize_t n = ::write(fd, p + done, size - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        *error = errno;
        return done > 0 ? static_cast<long>(done) : -1;
      }
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    return static_cast<long>(done);
  }

  void CloseFile(int fd) override { ::close(fd); }

  bool FileExists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }

  int ReadWholeFile(const std::string& path, std::string* content) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    content->clear();
    char chunk[65536];
    for (;;) {
      ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n < 0) {
        if (errno == EINTR) continue;
        int err = errno;
        ::close(fd);
        return err;
      }
      if (n == 0) break;
      content->append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return 0;
  }

  std::string ErrorText(int error) override {
    char buffer[256];
    // GNU strerror_r may return a static text instead of filling the buffer.
    const char* text = ::strerror_r(error, buffer, sizeof buffer);
    return text != nullptr ? std::string(text) : std::string();
  }

  SettingValue ReadSetting(const std::string& name) override {
    SettingValue value;
    const char* variable = SettingVariable(name);
    const char* text = variable != nullptr ? std::getenv(variable) : nullptr;
    if (text != nullptr && *text != '\0') {
      value.kind = SettingValue::Kind::kString;
      value.text = text;
    }
    return value;
  }

  std::string GetEnvironment(const std::string& name) override {
    const char* text = std::getenv(name.c_str());
    return text != nullptr ? std::string(text) : std::string();
  }

  unsigned long ProcessId() override { return static_cast<unsigned long>(::getpid()); }

  std::string ExecutablePath() override {
    char buffer[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
  }

  void* LoadLibrary(const std::string& file_name) override {
    return ::dlopen(file_name.c_str(), RTLD_NOW | RTLD_LOCAL);
  }

  void* FindSymbol(void* library, const std::string& name) override {
    return ::dlsym(library, name.c_str());
  }

  char* AllocateBuffer(std::size_t size) override { return new (std::nothrow) char[size]; }
  void FreeBuffer(char* buffer) override { delete[] buffer; }

 private:
  const std::chrono::milliseconds holder_wait_;
};

}  // namespace

Platform& DefaultPlatform() {
  static PosixPlatform platform(kFileHolderWait);
  return platform;
}

std::unique_ptr<Platform> MakePosixPlatform(std::chrono::milliseconds holder_wait) {
  return std::make_unique<PosixPlatform>(holder_wait);
}

}  // namespace tolvane
