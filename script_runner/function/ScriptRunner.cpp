#include "script_runner/function/ScriptRunner.h"

#include <string>
#include <string_view>

#include "connection/SQLConnection.h"
#include "runtime/ExceptionText.h"
#include "runtime/Platform.h"
#include "runtime/ThreadOwned.h"
#include "script_runner/engine/ResultText.h"
#include "script_runner/engine/RunnerMessages.h"
#include "script_runner/engine/ScriptRun.h"
#include "script_runner/scripts/ScriptText.h"
#include "script_runner/settings/FirebirdConfig.h"

namespace tolvane {
namespace {

// The error text of the last failed run on this thread; the host reads it
// after the call returns and never frees it.
struct ThreadResult {
  std::string text;
};

// The get-segment routine's status is not examined: a call that delivers
// nothing ends the reading.
std::size_t GetHostSegment(const blobcallback* blob, char* into, std::size_t wanted) {
  ISC_USHORT delivered = 0;
  blob->blob_get_segment(blob->blob_handle, reinterpret_cast<ISC_UCHAR*>(into),
                         static_cast<ISC_USHORT>(wanted), &delivered);
  return delivered;
}

}  // namespace

ScriptSource HostBlobSource(const blobcallback* blob) {
  if (blob == nullptr || blob->blob_handle == nullptr || blob->blob_get_segment == nullptr)
    return ScriptSource{0, nullptr};
  const std::size_t total = blob->blob_total_length > 0 ? static_cast<std::size_t>(blob->blob_total_length) : 0;
  return ScriptSource{total, [blob](char* into, std::size_t wanted) {
                        return GetHostSegment(blob, into, wanted);
                      }};
}

RunSummary RunBlob(Platform& platform, const blobcallback* blob, const std::string& database_path,
                   const RunSettings& settings, std::span<RunObserver* const> observers) {
  const ScriptSource source = HostBlobSource(blob);
  const ScriptText script = ReadScriptText(platform, source.total, source.get_segment);
  ScriptRun run(platform, script.View(), database_path, settings);
  for (RunObserver* observer : observers) run.AddObserver(observer);
  StatementOutcome outcome;
  while (run.Step(&outcome)) {
  }
  return run.Summary();
}

std::string RunToResultText(Platform& platform, FirebirdConfig& firebird, const RunRequest& request) {
  try {
    PreparedRun prepared(platform, firebird, request);
    if (prepared.Refused()) return prepared.RefusalText();
    ScriptRun& run = *prepared.Run();
    StatementOutcome outcome;
    while (run.Step(&outcome)) {
    }
    // A script already applied under its id is a success like any other:
    // callers compare the result with "ok".
    if (run.Summary().already_applied) return kSResultOk;
    return run.ResultText();
  } catch (...) {
    return ComposeResultText(CurrentExceptionText(), std::string_view());
  }
}

const char* RunScript(Platform& platform, const blobcallback* blob, const char* database_path,
                      const RunCaller& caller) {
  return RunScript(platform, ServerFirebirdConfig(), blob, database_path, caller);
}

const char* RunScript(Platform& platform, FirebirdConfig& firebird, const blobcallback* blob,
                      const char* database_path, const RunCaller& caller) {
  std::string& result_text = ThreadOwnedObject<ThreadResult>().text;
  try {
    RunRequest request;
    request.script = HostBlobSource(blob);
    request.target = database_path != nullptr ? database_path : "";
    request.caller = caller;
    result_text = RunToResultText(platform, firebird, request);
    if (result_text == kSResultOk) return kSResultOk;
  } catch (...) {
    result_text = ComposeResultText(CurrentExceptionText(), std::string_view());
  }
  return result_text.c_str();
}

}  // namespace tolvane
