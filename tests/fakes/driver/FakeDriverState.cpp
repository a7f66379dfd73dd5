// The fake driver's per-thread log and script, and its process-wide
// reference counts.
#include "FakeDriverState.h"

#include <atomic>

#include "runtime/ThreadOwned.h"

namespace tolvane::testing::fakedrv {
namespace {

struct Rule {
  std::string prefix;
  int occurrence;
  tolvane::DriverResult code;
  std::string error_text;
  int seen = 0;
};

struct ThreadState {
  std::vector<std::string> log;
  std::vector<Rule> rules;
  Settings settings;
  int next_connection = 1;
};

ThreadState& State() { return tolvane::ThreadOwnedObject<ThreadState>(); }

std::atomic<int> g_live[5];

}  // namespace

Outcome Record(const std::string& line) {
  State().log.push_back(line);
  Outcome outcome;
  for (Rule& rule : State().rules) {
    if (line.compare(0, rule.prefix.size(), rule.prefix) != 0) continue;
    ++rule.seen;
    if (rule.occurrence == 0 || rule.occurrence == rule.seen) {
      if (outcome.code == 0) outcome = {rule.code, rule.error_text};
    }
  }
  return outcome;
}

int NextConnectionNumber() { return State().next_connection++; }

void CountLive(Interface kind, int delta) { g_live[static_cast<int>(kind)] += delta; }

void Reset() { State() = ThreadState(); }

std::vector<std::string> Log() { return State().log; }

void ClearLog() { State().log.clear(); }

Settings& ThreadSettings() { return State().settings; }

void FailCall(const std::string& prefix, int occurrence, tolvane::DriverResult code,
              const std::string& error_text) {
  State().rules.push_back({prefix, occurrence, code, error_text});
}

int LiveReferences(Interface kind) { return g_live[static_cast<int>(kind)].load(); }

int LiveTotal() {
  int total = 0;
  for (const std::atomic<int>& live : g_live) total += live.load();
  return total;
}

}  // namespace tolvane::testing::fakedrv
