// Stands in for a driver library someone leaves in a host's current
// directory: loading it writes a mark to the file TOLVANE_PLANTED_MARK names.
#include <cstdio>
#include <cstdlib>

__attribute__((constructor)) static void LeaveMark() {
  const char* path = std::getenv("TOLVANE_PLANTED_MARK");
  if (path == nullptr) return;
  if (std::FILE* mark = std::fopen(path, "w")) {
    std::fputs("planted library loaded\n", mark);
    std::fclose(mark);
  }
}
