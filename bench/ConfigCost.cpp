// What reading the module's configuration adds to a call: the work RunScript
// does before a run (find, check and parse the file, the run settings, the
// target rules with databases.conf and the security database), timed in a
// loop in this process. The Firebird client library is loaded first, as it
// is in a server, so the server's folders are found the same way.
//
//   tolvane-bench-config-cost CONF TARGET ITERATIONS
//
// Prints "with_file_us=<x> without_file_us=<y>", microseconds per call.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/Platform.h"
#include "script_runner/settings/ConfigFile.h"
#include "script_runner/settings/DatabaseTarget.h"
#include "script_runner/settings/FirebirdConfig.h"

namespace {

double MicrosecondsPerCall(const std::string& target, int iterations, bool expect_file) {
  tolvane::Platform& platform = tolvane::DefaultPlatform();
  tolvane::FirebirdConfig& firebird = tolvane::ServerFirebirdConfig();
  const auto started = std::chrono::steady_clock::now();
  for (int i = 0; i < iterations; ++i) {
    const std::optional<tolvane::ModuleConfig> config = tolvane::LoadModuleConfig(platform, firebird);
    if (config.has_value() != expect_file) {
      std::fprintf(stderr, "the configuration file was %sfound\n", expect_file ? "not " : "");
      std::exit(2);
    }
    if (!config) continue;
    const tolvane::RunSettings settings = tolvane::ConfiguredRunSettings(platform, *config);
    const std::string refusal = tolvane::TargetRefusal(platform, firebird, *config, target);
    if (!refusal.empty() || !settings.identity) {
      std::fprintf(stderr, "unexpected: %s\n", refusal.c_str());
      std::exit(2);
    }
  }
  const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - started;
  return spent.count() / iterations;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s CONF TARGET ITERATIONS\n", argv[0]);
    return 2;
  }
  const std::string conf = argv[1];
  const std::string target = argv[2];
  const int iterations = std::atoi(argv[3]);
  tolvane::DefaultPlatform().LoadLibrary("libfbclient.so.2");
  try {
    ::setenv("UDFTOLVANE_CONF", conf.c_str(), 1);
    MicrosecondsPerCall(target, iterations / 10 + 1, true);  // warm caches
    const double with_file = MicrosecondsPerCall(target, iterations, true);
    ::setenv("UDFTOLVANE_CONF", (conf + ".absent").c_str(), 1);
    const double without_file = MicrosecondsPerCall(target, iterations, false);
    std::printf("with_file_us=%.2f without_file_us=%.2f\n", with_file, without_file);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
