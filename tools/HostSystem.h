// What tolvane-exec needs of the system, one file per system:
// PosixHostSystem.cpp or WindowsHostSystem.cpp, chosen by the build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tolvane::exec::host {

// A module loaded by path and never unloaded; null, with the loader's reason
// in *reason, when it cannot be loaded.
void* LoadModule(const std::string& path, std::string* reason);
void* FindSymbol(void* module, const char* name);

// The running program's full path.
std::string ProgramPath();

// Points in time on the clock that file write times are stamped from.
using Stamp = std::int64_t;
Stamp Now();
// The last write time of a regular file (not a link or a folder); false for
// anything else.
bool RegularFileStamp(const std::string& path, Stamp* stamp);

// A regular file opened for reading, its size in *size; -1, with the
// system's reason in *reason, when it cannot be.
int OpenForReading(const std::string& path, std::size_t* size, std::string* reason);
// Reads up to count bytes at offset; the number read, 0 at the end, -1 on
// an error.
long ReadAt(int fd, void* buffer, std::size_t count, std::uint64_t offset);
void CloseFile(int fd);

}  // namespace tolvane::exec::host
