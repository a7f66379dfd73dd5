// A run under the caller's name is the same user only where the target
// checks users against the same security database as the caller's own
// database. Firebird lets a database keep its users elsewhere (databases.conf
// SecurityDatabase): there the same name may be another user, whose rights a
// caller must not take without that user's password.
#pragma once

#ifndef FB_UDR_STATUS_TYPE
#define FB_UDR_STATUS_TYPE ::Firebird::ThrowStatusWrapper
#endif

#include <firebird/UdrCppEngine.h>

#include <string>

namespace tolvane {

// Where a database takes its users from, as MON$DATABASE tells it.
struct SecurityDatabaseOf {
  std::string database;  // MON$DATABASE_NAME
  std::string kind;      // MON$SEC_DATABASE: Default, Self or Other
};

// The routine's own database, through its attachment and transaction, and
// the caller's CURRENT_ROLE with it.
struct CallerDatabase {
  SecurityDatabaseOf security;
  std::string role;  // empty: none
};
CallerDatabase ReadCallerDatabase(Firebird::ThrowStatusWrapper* status,
                                  Firebird::IExternalContext* context);

// Why a run under attach_name (a name as AttachName gives it) cannot take
// target, or empty: target is opened once under that name, without a
// password, and must take its users from where the caller's database does
// (both from the server's default security database, or it is the caller's
// database itself). Never throws; a target that cannot be opened is refused
// with the server's text.
std::string TargetSecurityRefusal(Firebird::IExternalContext* context,
                                  const SecurityDatabaseOf& caller, const std::string& target,
                                  const std::string& attach_name);

}  // namespace tolvane
