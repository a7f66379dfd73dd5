#include "tools/ExecOptions.h"

#include <charconv>

namespace tolvane_exec {

namespace {

unsigned ParseSegmentSize(const std::string& text) {
  unsigned value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || value == 0 || value > kMaxSegmentSize) {
    throw UsageError("--segment-size takes a number from 1 to 65535, not '" + text + "'");
  }
  return value;
}

}  // namespace

ExecOptions ParseExecOptions(const std::vector<std::string>& args) {
  ExecOptions options;
  bool have_database = false;
  bool have_script = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError(arg + " needs a value");
      return args[++i];
    };
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      return options;
    } else if (arg == "--database" || arg == "-d") {
      options.database = value();
      have_database = true;
    } else if (arg == "--module") {
      options.module_path = value();
      if (options.module_path.empty()) throw UsageError("--module needs a path");
    } else if (arg == "--segment-size") {
      options.segment_size = ParseSegmentSize(value());
    } else if (arg == "-" || arg.empty() || arg[0] != '-') {
      if (have_script) throw UsageError("only one script, please");
      options.script_file = arg;
      have_script = true;
    } else {
      throw UsageError("unknown option " + arg);
    }
  }
  if (!have_database) throw UsageError("--database is missing");
  if (!have_script) throw UsageError("the script file is missing (use - for standard input)");
  return options;
}

const char* UsageText() {
  return "usage: tolvane-exec --database PATH [--module PATH] [--segment-size N] SCRIPT|-\n"
         "\n"
         "Runs SCRIPT (one SQL statement per line; - reads standard input) through\n"
         "UDFTolvane.so's executa_sql, as a Firebird server would, against PATH.\n"
         "Prints the result text; exits 0 for \"ok\", 1 for any other result,\n"
         "2 when the run could not be made. Lists on standard error the failure\n"
         "files (TESTE<n>.TXT) the run wrote in $UDFTOLVANE_FAILURE_DIR (else /tmp).\n"
         "\n"
         "  --database PATH     the database argument: a file path (embedded) or host:path\n"
         "  --module PATH       the module to load (default: the one installed beside this tool)\n"
         "  --segment-size N    largest BLOB segment handed over, 1..65535 (default 32768)\n"
         "\n"
         "example:\n"
         "  printf 'CREATE TABLE T (ID INTEGER)\\nINSERT INTO T VALUES (1)\\n' |\n"
         "    tolvane-exec --database /tmp/demo.fdb -\n";
}

}  // namespace tolvane_exec
