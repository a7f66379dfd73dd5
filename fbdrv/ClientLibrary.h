// The Firebird client library, loaded by the name the layer hands to the
// entry function and never unloaded.
#pragma once

#include <firebird/Interface.h>
#include <ibase.h>

#include <string>

namespace tolvane::fbdrv {

// The client functions the driver uses, found once per library name.
struct ClientLibrary {
  // ISC_EXPORT: the client's own calling convention (stdcall on 32-bit Windows).
  using GetMasterInterface = Firebird::IMaster*(ISC_EXPORT*)();
  using Interpret = ISC_LONG(ISC_EXPORT*)(ISC_SCHAR*, unsigned int, const ISC_STATUS**);
  using SqlState = void(ISC_EXPORT*)(char*, const ISC_STATUS*);

  Firebird::IMaster* master = nullptr;
  Firebird::IUtil* util = nullptr;
  Interpret interpret = nullptr;
  SqlState sql_state = nullptr;

  // Loads the library (by that name, see LibraryLoader.h) and resolves what the driver
  // needs, once per name for the whole process and safely from any thread.
  // The result lives as long as the process. Throws DriverFailure (code 22)
  // naming what is missing.
  static const ClientLibrary& Load(const std::string& name);
};

}  // namespace tolvane::fbdrv
