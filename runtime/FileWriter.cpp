#include "runtime/FileWriter.h"

#include "runtime/Exceptions.h"
#include "runtime/Messages.h"
#include "runtime/Platform.h"
#include "runtime/Text.h"

namespace tolvane {

void WriteWholeFile(Platform& platform, const std::string& path, std::string_view content) {
  int error = 0;
  int fd = platform.CreateFileExclusive(path, &error);
  if (fd < 0) throw EFCreateError(Format(kSFCreateError, {path, platform.ErrorText(error)}));
  long written = platform.WriteFile(fd, content.data(), content.size(), &error);
  platform.CloseFile(fd);
  if (written < 0 || static_cast<std::size_t>(written) != content.size())
    throw EWriteError(kSWriteError);
}

}  // namespace tolvane
