#include "script_runner/engine/RunLimits.h"

#include <atomic>
#include <map>
#include <mutex>

#include "runtime/Text.h"
#include "script_runner/engine/RunSettings.h"
#include "script_runner/engine/RunnerMessages.h"

namespace tolvane {
namespace {

thread_local int t_nesting = 0;
std::atomic<int> g_active{0};

// Active runs per owner; an owner with none has no entry.
std::mutex& OwnersGuard() {
  static std::mutex* const guard = new std::mutex;  // never destroyed: runs may end at exit
  return *guard;
}
std::map<std::string, int>& OwnerRuns() {
  static auto* const runs = new std::map<std::string, int>;
  return *runs;
}

}  // namespace

RunSlot::RunSlot(const std::string& owner, int max_runs_per_user) {
  if (t_nesting >= kMaxNestedRuns) {
    refusal_ = Format(kSTooDeeplyNested, {std::to_string(kMaxNestedRuns)});
    return;
  }
  ++t_nesting;
  nested_ = true;
  if (!owner.empty()) {
    std::lock_guard lock(OwnersGuard());
    int& runs = OwnerRuns()[owner];
    if (runs >= max_runs_per_user) {
      if (runs == 0) OwnerRuns().erase(owner);
      refusal_ = Format(kSTooManyRunsOfUser, {std::to_string(max_runs_per_user), owner});
      return;
    }
    ++runs;
    owner_ = owner;
    counted_for_owner_ = true;
  }
  if (g_active.fetch_add(1) >= kMaxActiveRuns) {
    g_active.fetch_sub(1);
    refusal_ = Format(kSTooManyRuns, {std::to_string(kMaxActiveRuns)});
    return;
  }
  active_ = true;
}

RunSlot::~RunSlot() {
  if (active_) g_active.fetch_sub(1);
  if (counted_for_owner_) {
    std::lock_guard lock(OwnersGuard());
    const auto found = OwnerRuns().find(owner_);
    if (found != OwnerRuns().end() && --found->second <= 0) OwnerRuns().erase(found);
  }
  if (nested_) --t_nesting;
}

std::optional<int> CallerLockTimeout(std::optional<int> asked, std::optional<int> server) {
  if (!server || *server == 0) return asked;  // no limit here: the driver's bound holds
  if (*server == kLockNoWait) return kLockNoWait;
  if (!asked || *asked == 0) return server;
  if (*asked == kLockNoWait) return kLockNoWait;
  return *asked < *server ? asked : server;
}

}  // namespace tolvane
