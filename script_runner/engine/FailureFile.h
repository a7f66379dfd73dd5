// The one-line record a failed script line leaves behind.
#pragma once

#include <string>
#include <string_view>

namespace tolvane {

class Platform;

// The folder of the failure files: UDFTOLVANE_FAILURE_DIR when set and not
// empty, else configured (the configuration's failure_dir) when not empty,
// else /tmp (D: on Windows).
std::string FailureFolder(Platform& platform, const std::string& configured = std::string());

// folder + separator + "TESTE" + index + ".TXT"; no second separator when
// the folder ends with one.
std::string FailureFilePath(const std::string& folder, int index);

// The index a failure file's name (without folder) carries: "TESTE" digits
// ".TXT" and nothing else; false for any other name.
bool FailureFileIndex(std::string_view name, unsigned long* index);

// Creates or replaces the file with exactly: line, " - ", database path,
// CR LF. Raises EFCreateError or EWriteError.
void WriteFailureFile(Platform& platform, const std::string& path, const std::string& line,
                      const std::string& database_path);

}  // namespace tolvane
