// Writing a whole file through the platform seam, with the system's errors.
#pragma once

#include <string>
#include <string_view>

namespace tolvane {

class Platform;

// Creates or replaces path with exactly content. Raises EFCreateError
// ("Cannot create file "%s". %s") when the file cannot be created and
// EWriteError ("Stream write error") when it cannot be written in full; the
// file is closed in every case.
void WriteWholeFile(Platform& platform, const std::string& path, std::string_view content);

}  // namespace tolvane
