#include "fbdrv/LockTimeout.h"

namespace tolvane::fbdrv {

int AdoptedLockTimeout(int asked) noexcept { return asked > 0 ? asked : kDefaultLockTimeout; }

}  // namespace tolvane::fbdrv
