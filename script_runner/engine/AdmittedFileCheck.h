// After the attach, the run's own connection is asked which database it
// opened: a name swapped between the admission and the attach (a link
// renamed over, a file moved in) must not let a statement reach another file.
#pragma once

#include <string>

#include "script_runner/engine/RunSettings.h"

namespace tolvane {

class Platform;
class TSQLConnection;

// The statement that fails unless the connection's database is named path
// (the server names a database by its real path). Exposed for tests.
std::string AdmittedNameCheck(const std::string& path);

// Raises an Exception naming admitted.path unless connection's database is
// that file: named so by the server, and still the same file with one name.
void ConfirmAdmittedFile(Platform& platform, TSQLConnection& connection,
                         const AdmittedFile& admitted);

}  // namespace tolvane
