#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

#include "tools/HostSystem.h"

namespace tolvane::exec::host {

namespace {

Stamp ToStamp(const timespec& time) {
  return static_cast<Stamp>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

}  // namespace

void* LoadModule(const std::string& path, std::string* reason) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* text = dlerror();
    *reason = text != nullptr ? text : "unknown reason";
  }
  return handle;
}

void* FindSymbol(void* module, const char* name) { return dlsym(module, name); }

std::string ProgramPath() {
  char buffer[PATH_MAX + 1];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

// File times come from the kernel's coarse clock, which can lag the fine one
// by a tick: reading the same clock keeps a file written at once from looking
// older than the run.
Stamp Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return ToStamp(now);
}

bool RegularFileStamp(const std::string& path, Stamp* stamp) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  *stamp = ToStamp(info.st_mtim);
  return true;
}

int OpenForReading(const std::string& path, std::size_t* size, std::string* reason) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    *reason = fd < 0 ? std::strerror(errno) : "not a regular file";
    if (fd >= 0) ::close(fd);
    return -1;
  }
  *size = static_cast<std::size_t>(info.st_size);
  return fd;
}

long ReadAt(int fd, void* buffer, std::size_t count, std::uint64_t offset) {
  for (;;) {
    const ssize_t n = ::pread(fd, buffer, count, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

void CloseFile(int fd) { ::close(fd); }

}  // namespace tolvane::exec::host
