// Which database runs next: up to a number at once in all, and up to a number
// at once on any one host, in the order given as far as those bounds allow.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <vector>

#include "tools/FleetTargets.h"

namespace tolvane::exec {

// The processors of this machine, at most 8: the number of databases run at
// once unless asked otherwise.
unsigned DefaultJobs();

struct FleetBounds {
  unsigned jobs = 1;           // at once in all
  unsigned jobs_per_host = 0;  // at once on one host; 0: no bound beyond jobs
};

// Runs run(target) once for each target, on up to bounds.jobs threads, never
// more than bounds.jobs_per_host at once for one host. Once stop is set no
// target starts; those running finish. Returns when every started target is
// done, with the number never started. run must not throw.
std::size_t RunEachTarget(const std::vector<FleetTarget>& targets, FleetBounds bounds,
                          const std::function<void(const FleetTarget&)>& run,
                          const std::atomic<bool>& stop);

}  // namespace tolvane::exec
