#include "script_runner/ScriptRunner.h"

#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "connection/SQLConnection.h"
#include "runtime/Exceptions.h"
#include "runtime/Messages.h"
#include "runtime/Platform.h"
#include "runtime/ThreadOwned.h"
#include "script_runner/ConfigFile.h"
#include "script_runner/DatabaseTarget.h"
#include "script_runner/ModuleLogin.h"
#include "script_runner/ResultText.h"
#include "script_runner/RunLog.h"
#include "script_runner/RunOptions.h"
#include "script_runner/RunnerMessages.h"
#include "script_runner/ScriptRun.h"

namespace tolvane {
namespace {

// The error text of the last failed run on this thread; the host reads it
// after the call returns and never frees it.
struct ThreadResult {
  std::string text;
};

constexpr long kMaxSegment = 65535;

// The script buffer, released on every way out.
class ScriptBuffer {
 public:
  ScriptBuffer(Platform& platform, std::size_t size)
      : platform_(platform), data_(platform.AllocateBuffer(size)) {}
  ~ScriptBuffer() { Free(); }
  ScriptBuffer(const ScriptBuffer&) = delete;
  ScriptBuffer& operator=(const ScriptBuffer&) = delete;
  char* Data() const { return data_; }
  void Free() {
    if (data_ != nullptr) platform_.FreeBuffer(data_);
    data_ = nullptr;
  }

 private:
  Platform& platform_;
  char* data_;
};

// Reads the BLOB into buffer, which stays the script's one copy. The status of
// the get-segment routine is not examined: a call that delivers nothing ends
// the reading. The script ends at its first zero byte, so the reading stops
// at the segment that holds one: a huge BLOB of zeros is never read whole.
// Returns the script text.
std::string_view ReadScript(const blobcallback* blob, ScriptBuffer& buffer, long total) {
  if (buffer.Data() == nullptr) throw EOutOfMemory(kSOutOfMemory);
  long read = 0;
  while (read < total) {
    long missing = total - read;
    ISC_USHORT wanted = static_cast<ISC_USHORT>(missing < kMaxSegment ? missing : kMaxSegment);
    ISC_USHORT delivered = 0;
    blob->blob_get_segment(blob->blob_handle, reinterpret_cast<ISC_UCHAR*>(buffer.Data() + read),
                           wanted, &delivered);
    if (delivered == 0) break;
    // A routine that claims more than it was asked for must not move us
    // past the buffer.
    const ISC_USHORT taken = delivered < wanted ? delivered : wanted;
    const bool has_zero = std::memchr(buffer.Data() + read, '\0', taken) != nullptr;
    read += taken;
    if (has_zero) break;
  }
  buffer.Data()[read] = '\0';
  return std::string_view(buffer.Data(), std::strlen(buffer.Data()));
}

long TotalLength(const blobcallback* blob) {
  if (blob == nullptr || blob->blob_handle == nullptr || blob->blob_get_segment == nullptr)
    return 0;
  return blob->blob_total_length > 0 ? blob->blob_total_length : 0;
}

}  // namespace

void ConfigureRunnerConnection(TSQLConnection& connection, const std::string& database_path) {
  connection.Params().Clear();
  connection.SetConnectionName(kRunnerConnectionName);
  connection.SetDriverName(kRunnerDriverName);
  connection.SetGetDriverFunc(kRunnerGetDriverFunc);
  connection.SetLibraryName(kRunnerLibraryName);
  connection.SetLoginPrompt(false);
  TStringList& params = connection.Params();
  params.SetValue("Database", database_path);
  params.SetValue("User_Name", kRunnerUserName);
  params.SetValue("Password", kRunnerPassword);
  params.SetValue("RoleName", kRunnerRoleName);
  params.SetValue("SQLDialect", "3");
  params.SetValue("ServerCharSet", "");
  params.SetValue("BlobSize", "-1");
  params.SetValue("CommitRetain", "False");
  params.SetValue("WaitOnLocks", "True");
  params.SetValue("ErrorResourceFile", "");
  params.SetValue("LocaleCode", "0000");
  params.SetValue("Interbase TransIsolation", "ReadCommited");
  params.SetValue("Trim Char", "False");
  connection.SetVendorLib(kRunnerVendorLib);
}

namespace {

const char* Fail(std::string_view message) {
  std::string& result_text = ThreadOwnedObject<ThreadResult>().text;
  result_text = ComposeResultText(message, std::string_view());
  return result_text.c_str();
}

}  // namespace

RunSummary RunBlob(Platform& platform, const blobcallback* blob, const std::string& database_path,
                   const RunSettings& settings, std::span<RunObserver* const> observers) {
  const long total = TotalLength(blob);
  ScriptBuffer buffer(platform, static_cast<std::size_t>(total) + 1);
  const std::string_view script = ReadScript(blob, buffer, total);
  ScriptRun run(platform, script, database_path, settings);
  for (RunObserver* observer : observers) run.AddObserver(observer);
  StatementOutcome outcome;
  while (run.Step(&outcome)) {
  }
  return run.Summary();
}

namespace {

// A call refused before its run could start still leaves its run log.
const char* Refused(Platform& platform, const RunSettings& settings, const std::string& path,
                    const std::string& log_folder, std::string_view message) {
  std::optional<RunLog> log;
  if (RunObserver* observer = RunLogFromEnvironment(platform, &log, log_folder)) {
    std::string options;
    const RunStart start = DescribeRun(settings, path, &options);
    LogRefusedRun(*observer, start, ComposeResultText(message, std::string_view()));
  }
  return Fail(message);
}

}  // namespace

const char* RunScript(Platform& platform, const blobcallback* blob, const char* database_path,
                      const RunCaller& caller, const std::string* options) {
  RunSettings settings;
  std::string path;
  std::string log_folder;
  try {
    settings.caller = caller;
    path = database_path != nullptr ? database_path : "";
    // Without a file every setting below keeps the module's own behaviour.
    const std::optional<ModuleConfig> config = LoadModuleConfig(platform);
    if (config) {
      log_folder = config->run_log_dir.value;
      TargetAdmission admission = AdmitTarget(platform, *config, path);
      if (!admission.refusal.empty()) return Refused(platform, settings, path, log_folder, admission.refusal);
      settings = ConfiguredRunSettings(platform, *config);
      settings.caller = caller;
      settings.admitted = std::move(admission.file);
      if (settings.identity) settings.attach_path = BoundAttachPath(platform, *settings.identity, path);
    }
    if (options != nullptr) settings = ParseRunOptions(*options, settings);
    std::optional<RunLog> log;
    RunObserver* observers[1] = {RunLogFromEnvironment(platform, &log, log_folder)};
    RunSummary summary = RunBlob(platform, blob, path, settings,
                                 std::span(observers, observers[0] != nullptr ? 1 : 0));
    if (summary.result_ok) return kSResultOk;
    std::string& result_text = ThreadOwnedObject<ThreadResult>().text;
    result_text.swap(summary.result_text);
    return result_text.c_str();
  } catch (const Exception& e) {
    return Refused(platform, settings, path, log_folder, e.Message());
  } catch (const std::bad_alloc&) {
    return Fail(kSOutOfMemory);
  } catch (const std::exception& e) {
    return Refused(platform, settings, path, log_folder, e.what());
  } catch (...) {
    return Fail("Unknown error");
  }
}

}  // namespace tolvane
