// tolvane-exec: runs a script with the engine of executa_sql the way a
// Firebird server does, for trying scripts without a server, finding out why
// a line failed, and tests.
#include <cstdio>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "connection/SQLConnection.h"
#include "runtime/ExceptionText.h"
#include "script_runner/settings/FirebirdConfig.h"
#include "runtime/Platform.h"
#include "script_runner/engine/RunRequest.h"
#include "script_runner/function/ScriptRunner.h"
#include "tools/ExecOptions.h"
#include "tools/ExecRequest.h"
#include "tools/ExecSettings.h"
#include "tools/FleetCommand.h"
#include "script_runner/history/HistoryRows.h"
#include "tools/FailureFiles.h"
#include "tools/HistoryReport.h"
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

// The history, read with the login a run would take.
int ShowHistory(tolvane::Platform& platform, const tolvane::exec::ExecOptions& options) {
  const std::optional<tolvane::RunIdentity> login =
      tolvane::exec::MakeExecContext(platform, options).login;
  tolvane::TSQLConnection connection(nullptr, platform);
  tolvane::ConfigureRunnerConnection(connection, options.database);
  if (login) {
    connection.Params().SetValue("User_Name", login->user);
    connection.Params().SetValue("Password", login->password);
    connection.Params().SetValue("RoleName", login->role);
  }
  connection.SetConnected(true);
  const std::vector<tolvane::HistoryRow> rows = tolvane::ReadHistory(connection);
  if (options.report == tolvane::exec::Report::kJson) tolvane::exec::WriteHistoryJson(std::cout, rows);
  else tolvane::exec::WriteHistoryText(std::cout, rows);
  if (rows.empty() && options.report != tolvane::exec::Report::kJson)
    std::cerr << "tolvane-exec: no script has been applied once in " << options.database << '\n';
  return kExitOk;
}

int Run(const tolvane::exec::ExecOptions& options) {
  tolvane::Platform& platform = tolvane::DefaultPlatform();
  if (options.history) return ShowHistory(platform, options);
  if (options.Fleet()) return tolvane::exec::RunFleet(platform, options);
  const auto script = OpenScript(options.script_file, options.segment_size);
  if (!options.module_path.empty()) return RunThroughModule(options, *script);

  tolvane::exec::TextReport text(std::cerr);
  tolvane::exec::JsonReport json(std::cout);
  std::vector<tolvane::RunObserver*> observers;
  if (options.report == tolvane::exec::Report::kText) observers.push_back(&text);
  if (options.report == tolvane::exec::Report::kJson) observers.push_back(&json);

  // The configuration and the login, as the module would find them.
  const tolvane::exec::ExecContext context = tolvane::exec::MakeExecContext(platform, options);
  const tolvane::RunRequest request =
      tolvane::exec::MakeRunRequest(context, options, options.database, script->Callback());
  tolvane::PreparedRun prepared(platform, tolvane::ServerFirebirdConfig(), request, observers);
  if (prepared.Refused()) {
    // Refused as the module refuses it: its result text.
    std::cout << prepared.RefusalText() << '\n' << std::flush;
    return kExitNotOk;
  }
  const tolvane::exec::FailureFileWatch watch(prepared.Settings().failure_folder);
  tolvane::ScriptRun& run = *prepared.Run();
  for (tolvane::StatementOutcome outcome; run.Step(&outcome);) {
  }
  const tolvane::RunSummary& summary = run.Summary();
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
  } catch (...) {
    std::cerr << "tolvane-exec: " << tolvane::CurrentExceptionText() << '\n';
    return kExitCannotRun;
  }
}
