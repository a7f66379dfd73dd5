#include "fbdrv/TransactionParameters.h"

#include <ibase.h>

namespace tolvane::fbdrv {

TransactionParameters::TransactionParameters(const ConnectionOptions& options, int lock_timeout,
                                             Isolation isolation) noexcept {
  Add(isc_tpb_version3);
  Add(isc_tpb_write);
  if (isolation == Isolation::kSnapshot) {
    Add(isc_tpb_concurrency);
  } else {
    // Firebird has no dirty read; both other levels read the last committed version.
    Add(isc_tpb_read_committed);
    Add(isc_tpb_rec_version);
  }
  if (!options.wait_on_locks) {
    Add(isc_tpb_nowait);
    return;
  }
  Add(isc_tpb_wait);
  if (lock_timeout > 0) {
    Add(isc_tpb_lock_timeout);
    Add(2);
    Add(static_cast<unsigned char>(lock_timeout & 0xFF));
    Add(static_cast<unsigned char>((lock_timeout >> 8) & 0xFF));
  }
}

}  // namespace tolvane::fbdrv
