// The options a run sets to run a script the way isql does.
#include "fbdrv/ConnectionOptions.h"
#include "fbdrv/DriverFailure.h"
#include "fbdrv/DriverTexts.h"

namespace tolvane::fbdrv {

bool SetScriptOption(ConnectionOptions& options, ConnectionOption id, OptionValue value) {
  switch (id) {
    case coDdlOwnTransaction:
      options.ddl_own_transaction = value != 0;
      return true;
    case coFetchLimit:
      if (value < 0 || value > 0x7fffffff) {
        throw DriverFailure(kDriverInvalidParameter,
                            FormatText(texts::kInvalidParameter, "fetch limit"));
      }
      options.fetch_limit = static_cast<int>(value);
      return true;
    case coPrepareOnly:
      options.prepare_only = value != 0;
      return true;
    case coTransactionStatements:
      options.transaction_statements = value != 0;
      return true;
    default:
      return false;
  }
}

bool GetScriptOption(const ConnectionOptions& options, ConnectionOption id, std::int32_t* value) {
  switch (id) {
    case coDdlOwnTransaction: *value = options.ddl_own_transaction; return true;
    case coFetchLimit: *value = options.fetch_limit; return true;
    case coPrepareOnly: *value = options.prepare_only; return true;
    case coTransactionStatements: *value = options.transaction_statements; return true;
    default: return false;
  }
}

}  // namespace tolvane::fbdrv
