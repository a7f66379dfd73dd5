// Bounds on runs that call runs: a script line may call executa_sql again on
// the same server, which nests on the calling thread (plain paths) or takes
// a new server thread per level (network paths). Past a bound the run is
// refused with a text and the caller's levels unwind normally.
#pragma once

#include <string>

namespace tolvane {

inline constexpr int kMaxNestedRuns = 16;     // per thread
inline constexpr int kMaxActiveRuns = 128;    // per process

// Holds one place among the runs of the process and one nesting level of the
// thread for as long as it lives.
class RunSlot {
 public:
  RunSlot();
  ~RunSlot();
  RunSlot(const RunSlot&) = delete;
  RunSlot& operator=(const RunSlot&) = delete;

  // Empty when the run may go ahead; otherwise the text that refuses it.
  const std::string& Refusal() const { return refusal_; }

 private:
  bool nested_ = false;
  bool active_ = false;
  std::string refusal_;
};

}  // namespace tolvane
