// tolvane-exec: runs a script with the engine of executa_sql the way a
// Firebird server does, for trying scripts without a server, finding out why
// a line failed, and tests.
#include <cstdio>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/Platform.h"
#include "script_runner/engine/RunLog.h"
#include "script_runner/settings/RunOptions.h"
#include "script_runner/function/ScriptRunner.h"
#include "script_runner/engine/ResultText.h"
#include "script_runner/engine/ScriptRun.h"
#include "script_runner/settings/DatabaseTarget.h"
#include "script_runner/settings/ModuleLogin.h"
#include "tools/ExecOptions.h"
#include "tools/ExecSettings.h"
#include "tools/FailureFiles.h"
#include "tools/RunReports.h"
#include "tools/ScriptBlob.h"
#include "tools/UdfModule.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitNotOk = 1;
constexpr int kExitCannotRun = 2;
constexpr int kExitStatementFailed = 3;

// A file is read as the engine asks for its segments; standard input has to
// be held.
std::unique_ptr<tolvane::exec::ScriptBlob> OpenScript(const std::string& file,
                                                     unsigned segment_size) {
  if (file != "-") return tolvane::exec::ScriptBlob::FromFile(file, segment_size);
  return std::make_unique<tolvane::exec::ScriptBlob>(
      std::string{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()},
      segment_size);
}

// Shown without its CR LF, which every failure file ends with.
std::string WithoutLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

int ExitStatus(bool result_ok, bool statement_failed) {
  if (!result_ok) return kExitNotOk;
  return statement_failed ? kExitStatementFailed : kExitOk;
}

// Without a report, the failure files the run wrote are what it shows.
bool ListFailureFiles(const tolvane::exec::FailureFileWatch& watch) {
  const std::vector<tolvane::exec::FailureFile> files = watch.Written();
  for (const tolvane::exec::FailureFile& file : files) {
    std::cerr << "failure file " << file.path << ": " << WithoutLineEnd(file.content) << '\n';
  }
  return !files.empty();
}

int RunThroughModule(const tolvane::exec::ExecOptions& options, tolvane::exec::ScriptBlob& script) {
  const tolvane::exec::UdfModule module(options.module_path);
  const tolvane::exec::FailureFileWatch watch;
  const char* result = module.Run(script.Callback(), options.database.c_str());
  const std::string result_text = result != nullptr ? result : "";
  std::cout << result_text << '\n' << std::flush;
  const bool failed = ListFailureFiles(watch);
  return ExitStatus(result_text == "ok", failed);
}

int Run(const tolvane::exec::ExecOptions& options) {
  tolvane::Platform& platform = tolvane::DefaultPlatform();
  const auto script = OpenScript(options.script_file, options.segment_size);
  if (!options.module_path.empty()) return RunThroughModule(options, *script);

  // The configuration, the target rules and the login, as the module applies them.
  const tolvane::exec::ExecConfig found = tolvane::exec::FindExecConfig(platform, options);
  const tolvane::ModuleConfig* config = found.config ? &*found.config : nullptr;
  tolvane::RunSettings settings =
      config ? tolvane::ConfiguredRunSettings(platform, *config) : tolvane::RunSettings{};
  settings = tolvane::ParseRunOptions(options.run_options, settings);
  settings.identity =
      tolvane::exec::LoginIdentity(tolvane::exec::ResolveLogin(platform, options, config));
  settings.caller.routine = "tolvane-exec";
  settings.caller.user = platform.GetEnvironment("USER");
  if (settings.caller.user.empty()) settings.caller.user = platform.GetEnvironment("USERNAME");

  tolvane::exec::TextReport text(std::cerr);
  tolvane::exec::JsonReport json(std::cout);
  std::vector<tolvane::RunObserver*> observers;
  if (options.report == tolvane::exec::Report::kText) observers.push_back(&text);
  if (options.report == tolvane::exec::Report::kJson) observers.push_back(&json);
  // The run log, when the environment or the configuration asks for one, as
  // a server would keep it.
  std::optional<tolvane::RunLog> log;
  tolvane::RunObserver* log_observer =
      tolvane::RunLogFromEnvironment(platform, &log, config ? config->run_log_dir.value : "");
  if (log_observer != nullptr) observers.push_back(log_observer);

  if (config) {
    tolvane::TargetAdmission admission = tolvane::AdmitTarget(platform, *config, options.database);
    if (!admission.refusal.empty()) {
      const std::string result = tolvane::ComposeResultText(admission.refusal, std::string_view());
      if (log_observer != nullptr) {
        std::string described;
        tolvane::LogRefusedRun(*log_observer,
                               tolvane::DescribeRun(settings, options.database, &described), result);
      }
      std::cout << result << '\n' << std::flush;
      return kExitNotOk;
    }
    settings.admitted = std::move(admission.file);
  }
  if (settings.identity)
    settings.attach_path = tolvane::BoundAttachPath(platform, *settings.identity, options.database);

  const tolvane::exec::FailureFileWatch watch(settings.failure_folder);
  const tolvane::RunSummary summary = tolvane::RunBlob(
      platform, script->Callback(), options.database, settings, observers);
  if (options.report != tolvane::exec::Report::kJson)
    std::cout << summary.result_text << '\n' << std::flush;
  if (options.report == tolvane::exec::Report::kNone) ListFailureFiles(watch);
  return ExitStatus(summary.result_ok, summary.failed > 0);
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  tolvane::exec::ExecOptions options;
  try {
    options = tolvane::exec::ParseExecOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const tolvane::exec::UsageError& error) {
    std::cerr << "tolvane-exec: " << error.what() << "\n\n" << tolvane::exec::UsageText();
    return kExitCannotRun;
  }
  if (options.help) {
    std::cout << tolvane::exec::UsageText();
    return kExitOk;
  }
  try {
    if (options.show_settings) {
      std::cout << tolvane::exec::ShowSettings(
                       tolvane::DefaultPlatform(), options,
                       tolvane::exec::FindExecConfig(tolvane::DefaultPlatform(), options))
                << std::flush;
      return kExitOk;
    }
    return Run(options);
  } catch (const tolvane::EModuleConfig& error) {
    std::cerr << "tolvane-exec: " << error.Message()
              << "\n(--config FILE reads another configuration, --no-config none)\n";
    return kExitCannotRun;
  } catch (const tolvane::Exception& error) {
    std::cerr << "tolvane-exec: " << error.Message() << '\n';
    return kExitCannotRun;
  } catch (const std::exception& error) {
    std::cerr << "tolvane-exec: " << error.what() << '\n';
    return kExitCannotRun;
  }
}
