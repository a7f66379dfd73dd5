// The server's folders and settings through the master interface of the
// Firebird client library already in the process: the one the driver loaded,
// else the one the host (the server itself) is linked with. Never loaded
// here: without a server in the process there is nothing to ask.
#include <firebird/Interface.h>

#include <atomic>

#include "SystemNames.h"
#include "runtime/Platform.h"
#include "script_runner/settings/FirebirdConfig.h"

namespace tolvane {
namespace {

// The configuration manager, or null. Kept once found: a library once
// loaded stays loaded.
Firebird::IConfigManager* ConfigManager(Platform& platform) {
  static std::atomic<Firebird::IConfigManager*> found{nullptr};
  Firebird::IConfigManager* manager = found.load(std::memory_order_acquire);
  if (manager != nullptr) return manager;
  using GetMaster = Firebird::IMaster* (*)();
  auto get_master = reinterpret_cast<GetMaster>(
      platform.FindLoadedSymbol(system_names::kClientLibrary, "fb_get_master_interface"));
  Firebird::IMaster* master = get_master != nullptr ? get_master() : nullptr;
  manager = master != nullptr ? master->getConfigManager() : nullptr;
  if (manager != nullptr) found.store(manager, std::memory_order_release);
  return manager;
}

bool IsSeparator(char c) { return system_names::kPathSeparators.find(c) != std::string_view::npos; }

class ServerConfig final : public FirebirdConfig {
 public:
  explicit ServerConfig(Platform& platform) : platform_(platform) {}

  std::string Directory(FirebirdFolder folder) override {
    Firebird::IConfigManager* manager = ConfigManager(platform_);
    if (manager == nullptr) return std::string();
    const char* text = nullptr;
    switch (folder) {
      case FirebirdFolder::kRoot: text = manager->getRootDirectory(); break;
      case FirebirdFolder::kConfig: text = manager->getDirectory(Firebird::IConfigManager::DIR_CONF); break;
      case FirebirdFolder::kSecurity: text = manager->getDirectory(Firebird::IConfigManager::DIR_SECDB); break;
    }
    std::string path = text != nullptr ? text : "";
    // A drive's root ("C:\") keeps its separator.
    while (path.size() > 1 && IsSeparator(path.back()) &&
           !(system_names::kDriveLetters && path.size() == 3 && path[1] == ':'))
      path.pop_back();
    return path;
  }

  std::string Setting(const std::string& name) override {
    Firebird::IConfigManager* manager = ConfigManager(platform_);
    if (manager == nullptr) return std::string();
    Firebird::IFirebirdConf* conf = manager->getFirebirdConf();
    if (conf == nullptr) return std::string();
    std::string value;
    const unsigned key = conf->getKey(name.c_str());
    if (key != ~0u) {
      const char* text = conf->asString(key);
      if (text != nullptr) value = text;
    }
    conf->release();
    return value;
  }

  long long Number(const std::string& name) override {
    Firebird::IConfigManager* manager = ConfigManager(platform_);
    if (manager == nullptr) return -1;
    Firebird::IFirebirdConf* conf = manager->getFirebirdConf();
    if (conf == nullptr) return -1;
    const unsigned key = conf->getKey(name.c_str());
    const long long value = key != ~0u ? static_cast<long long>(conf->asInteger(key)) : -1;
    conf->release();
    return value;
  }

 private:
  Platform& platform_;
};

}  // namespace

FirebirdConfig& ServerFirebirdConfig() {
  static ServerConfig config(DefaultPlatform());
  return config;
}

std::unique_ptr<FirebirdConfig> MakeServerFirebirdConfig(Platform& platform) {
  return std::make_unique<ServerConfig>(platform);
}

}  // namespace tolvane
