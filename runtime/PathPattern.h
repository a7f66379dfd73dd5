// Whether a path matches an allow-list pattern (* ? [..]), wildcards never
// crossing a folder separator. One file per system: PosixPathPattern.cpp or
// WindowsPathPattern.cpp, chosen by the build.
#pragma once

#include <string>

namespace tolvane {

bool PathMatchesPattern(const std::string& pattern, const std::string& path);

}  // namespace tolvane
