// tolvane-exec: runs a script through UDFTolvane.so's executa_sql the way a
// Firebird server does, for trying the module without a server and for tests.
#include <cstdio>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "tools/ExecOptions.h"
#include "tools/FailureFiles.h"
#include "tools/ScriptBlob.h"
#include "tools/UdfModule.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitNotOk = 1;
constexpr int kExitCannotRun = 2;

// A file is read as the module asks for its segments; standard input has to
// be held.
std::unique_ptr<tolvane_exec::ScriptBlob> OpenScript(const std::string& file,
                                                     unsigned segment_size) {
  if (file != "-") return tolvane_exec::ScriptBlob::FromFile(file, segment_size);
  return std::make_unique<tolvane_exec::ScriptBlob>(
      std::string{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()},
      segment_size);
}

// Shown without its CR LF, which every failure file ends with.
std::string WithoutLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

int Run(const tolvane_exec::ExecOptions& options) {
  const std::string module_path =
      options.module_path.empty() ? tolvane_exec::DefaultModulePath() : options.module_path;
  const auto script = OpenScript(options.script_file, options.segment_size);
  const tolvane_exec::UdfModule module(module_path);

  const tolvane_exec::FailureFileWatch watch;
  const char* result = module.Run(script->Callback(), options.database.c_str());
  const std::string result_text = result != nullptr ? result : "";

  std::cout << result_text << '\n' << std::flush;
  for (const tolvane_exec::FailureFile& file : watch.Written()) {
    std::cerr << "failure file " << file.path << ": " << WithoutLineEnd(file.content) << '\n';
  }
  return result_text == "ok" ? kExitOk : kExitNotOk;
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  tolvane_exec::ExecOptions options;
  try {
    options = tolvane_exec::ParseExecOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const tolvane_exec::UsageError& error) {
    std::cerr << "tolvane-exec: " << error.what() << "\n\n" << tolvane_exec::UsageText();
    return kExitCannotRun;
  }
  if (options.help) {
    std::cout << tolvane_exec::UsageText();
    return kExitOk;
  }
  try {
    return Run(options);
  } catch (const std::exception& error) {
    std::cerr << "tolvane-exec: " << error.what() << '\n';
    return kExitCannotRun;
  }
}
