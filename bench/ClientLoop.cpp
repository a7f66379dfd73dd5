// The floor of the module's semantics outside a server: the client library
// alone, embedded (a plain database path), one attachment for the script.
//   tolvane-bench-client-loop [--one-transaction] DATABASE SCRIPT
// --one-transaction: every line in one transaction, one commit at the end,
// the floor of a batch run.
// Prints the loop's own time on stderr; exits non-zero when a line fails, so
// that a broken path is never timed as if it worked.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>

#include "bench/LineLoop.h"

int main(int argc, char** argv) {
  const bool one_transaction = argc == 4 && std::string_view(argv[1]) == "--one-transaction";
  if (argc != 3 && !one_transaction) {
    std::fprintf(stderr, "usage: %s [--one-transaction] DATABASE SCRIPT\n", argv[0]);
    return 2;
  }
  const char* database = argv[argc - 2];
  const char* script_file = argv[argc - 1];
  std::ifstream in(script_file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", script_file);
    return 2;
  }
  const std::string script((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto started = std::chrono::steady_clock::now();
  const tolvane::bench::LoopOutcome outcome = one_transaction
                                                 ? tolvane::bench::RunLinesInOneTransaction(database, script)
                                                 : tolvane::bench::RunLinesEachCommitted(database, script);
  const auto elapsed = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - started);
  std::fprintf(stderr, "loop_us=%.0f executed=%ld failed=%ld\n", elapsed.count(), outcome.executed, outcome.failed);
  if (!outcome.error.empty()) std::fprintf(stderr, "error: %s\n", outcome.error.c_str());
  return outcome.attached && outcome.failed == 0 && outcome.error.empty() ? 0 : 1;
}
