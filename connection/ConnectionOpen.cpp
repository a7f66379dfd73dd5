// Placeholder until opening lands.
#include "connection/SQLConnection.h"
#include "runtime/Exceptions.h"

namespace tolvane {
void TSQLConnection::OpenConnection() { throw EDatabaseError("opening is not built yet"); }
void TSQLConnection::ReadConnectionTraits() {}
}  // namespace tolvane
