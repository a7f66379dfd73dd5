// Placeholder until driver error reporting lands.
#include "connection/SQLConnection.h"
#include "runtime/Exceptions.h"

namespace tolvane {
DriverResult TSQLConnection::CheckDriverResult(DriverResult result) {
  if (result != 0) RaiseDriverError(result, esConnection, nullptr);
  return 0;
}
void TSQLConnection::RaiseDriverError(DriverResult, ErrorSource, ISQLStatement*) {
  throw EDatabaseError("driver error");
}
}  // namespace tolvane
