#include "fbdrv/ConnectionLoss.h"

namespace tolvane::fbdrv {

ISC_STATUS FirstErrorCode(const ISC_STATUS* vector) noexcept {
  if (vector == nullptr || vector[0] != isc_arg_gds) return 0;
  return vector[1];
}

bool MeansConnectionLost(ISC_STATUS first_code) noexcept {
  switch (first_code) {
    case isc_att_shutdown:         // killed (MON$ATTACHMENTS) or the database shut down
    case isc_shutdown:             // the database is shut down
    case isc_net_server_shutdown:  // the server is going down
    case isc_network_error:        // the network connection broke
    case isc_net_read_err:
    case isc_net_write_err:
    case isc_lost_db_connection:
    case isc_conn_lost:
    case isc_bad_db_handle:        // the attachment no longer exists
      return true;
    default:
      return false;
  }
}

}  // namespace tolvane::fbdrv
