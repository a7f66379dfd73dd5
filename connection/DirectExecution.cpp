// Placeholder until direct execution and closing land.
#include "connection/SQLConnection.h"
#include "runtime/Exceptions.h"

namespace tolvane {
TSQLConnection::~TSQLConnection() = default;
void TSQLConnection::CloseConnection() {}
std::uint32_t TSQLConnection::ExecuteSqlDirect(const std::string&) {
  throw EDatabaseError("execution is not built yet");
}
}  // namespace tolvane
