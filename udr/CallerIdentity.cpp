#include "udr/CallerIdentity.h"

#include <cctype>

#include "SystemNames.h"

namespace tolvane {

bool TargetHasHost(std::string_view target) {
  // C:\data\x.fdb on Windows: a drive, not a host.
  const bool drive = system_names::kDriveLetters && target.size() >= 2 && target[1] == ':' &&
                     std::isalpha(static_cast<unsigned char>(target[0]));
  return target.find(':', drive ? 2 : 0) != std::string_view::npos || target.starts_with("\\\\");
}

std::string AttachName(std::string_view name) {
  bool plain = !name.empty() && name.front() >= 'A' && name.front() <= 'Z';
  for (char c : name)
    plain = plain && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$');
  if (plain) return std::string(name);
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

RunIdentity CallerRunIdentity(std::string_view user, std::string_view role) {
  RunIdentity identity;
  identity.user = AttachName(user);
  if (!role.empty() && role != "NONE") identity.role = AttachName(role);
  return identity;
}

}  // namespace tolvane
