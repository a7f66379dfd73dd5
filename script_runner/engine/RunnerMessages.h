// The script runner's own texts, each written once.
#pragma once

namespace tolvane {

// Script runner.
inline constexpr const char* kSResultOk = "ok";
inline constexpr const char* kSResultSeparator = "   -    ";
inline constexpr const char* kSTooDeeplyNested =
    "Run refused: more than %s runs nested on one server thread (a script that calls itself?)";
inline constexpr const char* kSTooManyRuns =
    "Run refused: %s runs are already active in this server process";
inline constexpr const char* kSTooManyRunsOfUser =
    "Run refused: %s runs of user '%s' are already active (the bound per user, max_runs_per_user)";

}  // namespace tolvane
