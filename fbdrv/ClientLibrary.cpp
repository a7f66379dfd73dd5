#include "fbdrv/ClientLibrary.h"

#include <map>
#include <memory>
#include <mutex>

#include "fbdrv/DriverFailure.h"
#include "fbdrv/DriverTexts.h"
#include "fbdrv/LibraryLoader.h"

namespace tolvane::fbdrv {
namespace {

// The layer reports any non-zero result of the entry function the same way;
// this code tells a missing client library apart from other failures.
constexpr DriverResult kDriverInitializationFailed = 22;

template <typename Function>
Function Resolve(void* handle, const std::string& library, const char* symbol) {
  void* address = FindLibrarySymbol(handle, symbol);
  if (address == nullptr) {
    throw DriverFailure(kDriverInitializationFailed,
                        FormatText(texts::kClientFunctionMissing, library.c_str(), symbol));
  }
  return reinterpret_cast<Function>(address);
}

}  // namespace

const ClientLibrary& ClientLibrary::Load(const std::string& name) {
  // Deliberately never destroyed: the libraries stay loaded for the life of
  // the process, and threads may still use them while it ends.
  static std::mutex* const guard = new std::mutex;
  static auto* const loaded = new std::map<std::string, std::unique_ptr<ClientLibrary>>;

  std::lock_guard lock(*guard);
  if (auto found = loaded->find(name); found != loaded->end()) return *found->second;

  // Never closed: attachments made through it may outlive any one driver.
  // Inside a server the name matches the server's own client library,
  // already loaded, whichever Firebird that is: no second client library
  // comes into its process (e2e host_contract checks its maps).
  std::string reason;
  void* handle = LoadLibraryByName(name, &reason);
  if (handle == nullptr) {
    throw DriverFailure(kDriverInitializationFailed,
                        FormatText(texts::kClientLibraryNotLoaded, name.c_str(), reason.c_str()));
  }
  auto library = std::make_unique<ClientLibrary>();
  const auto get_master = Resolve<GetMasterInterface>(handle, name, "fb_get_master_interface");
  library->interpret = Resolve<Interpret>(handle, name, "fb_interpret");
  library->sql_state = Resolve<SqlState>(handle, name, "fb_sqlstate");
  library->master = get_master();
  if (library->master == nullptr) {
    throw DriverFailure(kDriverInitializationFailed,
                        FormatText(texts::kClientFunctionMissing, name.c_str(),
                                   "fb_get_master_interface"));
  }
  library->util = library->master->getUtilInterface();
  return *loaded->emplace(name, std::move(library)).first->second;
}

}  // namespace tolvane::fbdrv
