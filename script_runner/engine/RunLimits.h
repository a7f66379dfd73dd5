// Bounds on runs. A script line may call executa_sql again on the same
// server, which nests on the calling thread (plain paths) or takes a new
// server thread per level (network paths); and one user may hold many runs
// open at once (one per open cursor of the procedure). Past a bound the run
// is refused with a text that names the bound, and the caller's levels
// unwind normally.
#pragma once

#include <optional>
#include <string>

namespace tolvane {

inline constexpr int kMaxNestedRuns = 16;      // per thread
inline constexpr int kMaxActiveRuns = 128;     // per process
inline constexpr int kDefaultRunsPerUser = 16; // per user, unless configured

// Holds one place among the runs of the process, one among those of owner
// (when not empty) and one nesting level of the thread for as long as it
// lives. The bounds are asked in that order: nesting, the owner's, the
// process's, so that one user's runs cannot take every place of the process.
class RunSlot {
 public:
  explicit RunSlot(const std::string& owner = std::string(),
                   int max_runs_per_user = kDefaultRunsPerUser);
  ~RunSlot();
  RunSlot(const RunSlot&) = delete;
  RunSlot& operator=(const RunSlot&) = delete;

  // Empty when the run may go ahead; otherwise the text that refuses it.
  const std::string& Refusal() const { return refusal_; }

 private:
  bool nested_ = false;
  bool counted_for_owner_ = false;
  bool active_ = false;
  std::string owner_;
  std::string refusal_;
};

// The lock timeout of a run on a caller's own attachment, from what the
// caller asked for and what the server's configuration sets (seconds; 0 = no
// limit; kLockNoWait). A caller may ask for less than the server's limit,
// never more, and never for no limit where the server sets one. Unset stays
// unset: the driver then applies the process's own bound.
std::optional<int> CallerLockTimeout(std::optional<int> asked, std::optional<int> server);

}  // namespace tolvane
