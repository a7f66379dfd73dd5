// The driver and connection registry files: where they are, and how they
// are read. Nothing here caches: every read parses the file afresh.
#pragma once

#include <string>

#include "runtime/StringList.h"

namespace tolvane {

class Platform;

// The path of a registry file: the setting's value when it is set and not
// empty, else the host executable's directory, the separator and
// default_file_name.
// A setting of the wrong type raises ERegistryException "Invalid data type
// for '%s'"; unreadable data "Failed to get data for '%s'".
std::string FindRegistryFile(Platform& platform, const std::string& setting_name,
                             const std::string& default_file_name);
// "Driver Registry File", "sqldrivers.ini".
std::string FindDriverRegistryFile(Platform& platform);
// "Connection Registry File", "sqlconnections.ini".
std::string FindConnectionRegistryFile(Platform& platform);

// The whole content of an existing file at path; raises EFOpenError
// "Cannot open file "%s". %s" when it cannot be read.
std::string ReadRegistryFileText(Platform& platform, const std::string& path);

// The lines of the section named section (the last of that name, matched
// without regard to case) of the file at path, as stored by the file format:
// "name=value" with both sides trimmed, or the trimmed line when it has no
// "=". No lines when the file or the section is missing. A file that exists
// but cannot be read raises EFOpenError.
TStringList ReadRegistryFileSection(Platform& platform, const std::string& section,
                                    const std::string& path);

// The value of key in that section, by the parameter list's reading rule
// (first match, case ignored); empty when absent.
std::string ReadRegistryFileValue(Platform& platform, const std::string& section,
                                  const std::string& key, const std::string& path);

}  // namespace tolvane
