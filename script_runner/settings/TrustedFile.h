// Files whose text gives a run its identity or its rules (udftolvane.conf, the
// password file it names) count only when no one but the server's owners
// could have written them: root or the user the server runs as.
#pragma once

#include <string>

#include "runtime/Platform.h"

namespace tolvane {

struct TrustedFile {
  int error = 0;         // the system's error number when it could not be read
  std::string refusal;   // the rule it breaks ("refused: ..."); empty: none
  std::string content;   // read from the same open file the rules were judged on
  FileFacts facts;
};

// Reads path and judges it: refused when it is a symbolic link, when it
// belongs to someone other than root or the process's user, when its group
// or others can write it, or when a folder on the way to it (as written and
// as the links resolve) belongs to someone else or lets its group or others
// write (a sticky bit excuses nothing: the name can still be taken by whoever
// owns it). Not a regular file: facts say so and nothing is read.
TrustedFile ReadTrustedFile(Platform& platform, const std::string& path);

}  // namespace tolvane
