// Which server failures mean that the attachment itself is gone.
#pragma once

#include <ibase.h>

namespace tolvane::fbdrv {

// The first error code of a status vector (the one isql shows first); 0 when
// the vector holds none.
ISC_STATUS FirstErrorCode(const ISC_STATUS* vector) noexcept;

// True for the codes that say the attachment was lost, killed, shut down or
// broken, so that no further call on it can succeed. Only the first code of a
// vector is asked: later codes may describe another connection (a failed
// EXECUTE STATEMENT ON EXTERNAL names its own network errors after its own
// first code).
bool MeansConnectionLost(ISC_STATUS first_code) noexcept;

}  // namespace tolvane::fbdrv
