#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/HostSystem.h"

namespace tolvane::exec::host {

namespace {

Stamp ToStamp(const FILETIME& time) {
  return static_cast<Stamp>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                            time.dwLowDateTime);
}

std::string SystemText(DWORD error) {
  char* text = nullptr;
  const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result = n > 0 && text != nullptr ? std::string(text, n) : "error " + std::to_string(error);
  if (text != nullptr) ::LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) result.pop_back();
  return result;
}

}  // namespace

void* LoadModule(const std::string& path, std::string* reason) {
  HMODULE module = ::LoadLibraryA(path.c_str());
  if (module == nullptr) *reason = SystemText(::GetLastError());
  return reinterpret_cast<void*>(module);
}

void* FindSymbol(void* module, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

std::string ProgramPath() {
  char buffer[MAX_PATH * 4];
  const DWORD n = ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

Stamp Now() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  return ToStamp(now);
}

bool RegularFileStamp(const std::string& path, Stamp* stamp) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  *stamp = ToStamp(data.ftLastWriteTime);
  return true;
}

int OpenForReading(const std::string& path, std::size_t* size, std::string* reason) {
  const int fd = ::_open(path.c_str(), _O_RDONLY | _O_BINARY);
  struct _stati64 info {};
  if (fd < 0 || ::_fstati64(fd, &info) != 0 || (info.st_mode & _S_IFREG) == 0) {
    *reason = fd < 0 ? std::strerror(errno) : "not a regular file";
    if (fd >= 0) ::_close(fd);
    return -1;
  }
  *size = static_cast<std::size_t>(info.st_size);
  return fd;
}

long ReadAt(int fd, void* buffer, std::size_t count, std::uint64_t offset) {
  if (::_lseeki64(fd, static_cast<__int64>(offset), SEEK_SET) < 0) return -1;
  const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(count, 1u << 30));
  return ::_read(fd, buffer, chunk);
}

void CloseFile(int fd) { ::_close(fd); }

}  // namespace tolvane::exec::host
