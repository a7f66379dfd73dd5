#include <fnmatch.h>

#include "runtime/PathPattern.h"

namespace tolvane {

bool PathMatchesPattern(const std::string& pattern, const std::string& path) {
  return ::fnmatch(pattern.c_str(), path.c_str(), FNM_PATHNAME) == 0;
}

}  // namespace tolvane
