#include "tools/FleetScheduler.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace tolvane::exec {

unsigned DefaultJobs() {
  const unsigned processors = std::thread::hardware_concurrency();
  return std::clamp(processors, 1u, 8u);
}

std::size_t RunEachTarget(const std::vector<FleetTarget>& targets, FleetBounds bounds,
                          const std::function<void(const FleetTarget&)>& run,
                          const std::atomic<bool>& stop) {
  std::mutex mutex;
  std::condition_variable changed;
  std::list<const FleetTarget*> waiting;
  for (const FleetTarget& target : targets) waiting.push_back(&target);
  std::map<std::string, unsigned> running_on;  // host -> targets running there
  const unsigned per_host = bounds.jobs_per_host == 0 ? bounds.jobs : bounds.jobs_per_host;

  auto worker = [&] {
    std::unique_lock lock(mutex);
    for (;;) {
      if (stop.load() || waiting.empty()) return;
      // The first waiting target whose host has room.
      const auto next = std::find_if(waiting.begin(), waiting.end(), [&](const FleetTarget* target) {
        return running_on[target->host] < per_host;
      });
      if (next == waiting.end()) {
        // Every host with work waiting is full: a finish, or stop, changes that.
        changed.wait_for(lock, std::chrono::milliseconds(100));
        continue;
      }
      const FleetTarget& target = **next;
      waiting.erase(next);
      ++running_on[target.host];
      lock.unlock();
      run(target);
      lock.lock();
      --running_on[target.host];
      changed.notify_all();
    }
  };
  const std::size_t threads = std::min<std::size_t>(std::max(bounds.jobs, 1u), targets.size());
  {
    std::vector<std::jthread> pool;
    pool.reserve(threads);
    for (std::size_t i = 0; i < threads; ++i) pool.emplace_back(worker);
  }
  return waiting.size();
}

}  // namespace tolvane::exec
