#include "script_runner/RunLimits.h"

#include <atomic>

#include "script_runner/RunnerMessages.h"
#include "runtime/Text.h"

namespace tolvane {
namespace {

thread_local int t_nesting = 0;
std::atomic<int> g_active{0};

}  // namespace

RunSlot::RunSlot() {
  if (t_nesting >= kMaxNestedRuns) {
    refusal_ = Format(kSTooDeeplyNested, {std::to_string(kMaxNestedRuns)});
    return;
  }
  ++t_nesting;
  nested_ = true;
  if (g_active.fetch_add(1) >= kMaxActiveRuns) {
    g_active.fetch_sub(1);
    refusal_ = Format(kSTooManyRuns, {std::to_string(kMaxActiveRuns)});
    return;
  }
  active_ = true;
}

RunSlot::~RunSlot() {
  if (active_) g_active.fetch_sub(1);
  if (nested_) --t_nesting;
}

}  // namespace tolvane
