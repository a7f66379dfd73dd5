#include "fbdrv/EnvironmentSeconds.h"

namespace tolvane::fbdrv {

int ParseSeconds(const char* value, int fallback, int most) noexcept {
  if (value == nullptr || *value == '\0') return fallback;
  long seconds = 0;
  for (const char* c = value; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return fallback;
    if (seconds <= most) seconds = seconds * 10 + (*c - '0');
  }
  return seconds > most ? most : static_cast<int>(seconds);
}

}  // namespace tolvane::fbdrv
