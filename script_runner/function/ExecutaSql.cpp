// The module's one export. It only hands over to the script runner; nothing
// may unwind into the server.
#include <ibase.h>

#include "runtime/Platform.h"
#include "script_runner/function/ScriptRunner.h"

extern "C" __attribute__((visibility("default"))) char* executa_sql(blobcallback* script,
                                                                    const char* database_path) {
  try {
    return const_cast<char*>(tolvane::RunScript(tolvane::DefaultPlatform(), script, database_path));
  } catch (...) {
    static char unknown[] = "Unknown error   -    ";
    return unknown;
  }
}
