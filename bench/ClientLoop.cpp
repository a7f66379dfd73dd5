// The floor of the module's semantics outside a server: the client library
// alone, embedded (a plain database path), one attachment for the script.
//   tolvane-bench-client-loop DATABASE SCRIPT
// Prints the loop's own time on stderr; exits non-zero when a line fails, so
// that a broken path is never timed as if it worked.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "bench/LineLoop.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s DATABASE SCRIPT\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[2], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", argv[2]);
    return 2;
  }
  const std::string script((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto started = std::chrono::steady_clock::now();
  const tolvane_bench::LoopOutcome outcome = tolvane_bench::RunLinesEachCommitted(argv[1], script);
  const auto elapsed = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - started);
  std::fprintf(stderr, "loop_us=%.0f executed=%ld failed=%ld\n", elapsed.count(), outcome.executed, outcome.failed);
  if (!outcome.error.empty()) std::fprintf(stderr, "error: %s\n", outcome.error.c_str());
  return outcome.attached && outcome.failed == 0 && outcome.error.empty() ? 0 : 1;
}
