#include "tools/ExecOptions.h"

#include <charconv>

#include "script_runner/settings/RunOptions.h"

namespace tolvane::exec {

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

unsigned ParseJobs(const std::string& option, const std::string& text) {
  unsigned value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || value == 0 || value > kMaxJobs)
    throw UsageError(option + " takes a number from 1 to " + std::to_string(kMaxJobs) + ", not '" + text + "'");
  return value;
}

Report ParseReport(const std::string& text) {
  if (text == "text") return Report::kText;
  if (text == "json") return Report::kJson;
  if (text == "none") return Report::kNone;
  throw UsageError("--report takes text, json or none, not '" + text + "'");
}

}  // namespace

ExecOptions ParseExecOptions(const std::vector<std::string>& args) {
  ExecOptions options;
  bool have_database = false;
  bool have_script = false;
  bool report_given = false;
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
      options.databases.push_back(options.database);
      have_database = true;
    } else if (arg == "--targets") {
      options.targets_file = value();
      if (options.targets_file.empty()) throw UsageError("--targets needs a file (- for standard input)");
    } else if (arg == "--jobs") {
      options.jobs = ParseJobs(arg, value());
    } else if (arg == "--jobs-per-host") {
      options.jobs_per_host = ParseJobs(arg, value());
    } else if (arg == "--journal" || arg == "--resume") {
      std::string& field = arg == "--journal" ? options.journal : options.resume;
      field = value();
      if (field.empty()) throw UsageError(arg + " needs a file");
    } else if (arg == "--yes") {
      options.yes = true;
    } else if (arg == "--module") {
      options.module_path = value();
      if (options.module_path.empty()) throw UsageError("--module needs a path");
    } else if (arg == "--once") {
      options.run_options += "once=" + value() + ";";
    } else if (arg == "--history") {
      options.history = true;
    } else if (arg == "--options") {
      options.run_options += value() + ";";
    } else if (arg == "--mode" || arg == "--dialect" || arg == "--lock-timeout" ||
               arg == "--charset" || arg == "--sql-dialect") {
      std::string name = arg.substr(2);
      for (char& c : name)
        if (c == '-') c = '_';
      options.run_options += name + "=" + value() + ";";
    } else if (arg == "--report") {
      options.report = ParseReport(value());
      report_given = true;
    } else if (arg == "--config") {
      options.config_file = value();
      if (options.config_file.empty()) throw UsageError("--config needs a path");
    } else if (arg == "--no-config") {
      options.no_config = true;
    } else if (arg == "--user" || arg == "--role" || arg == "--password-file") {
      std::string& field = arg == "--user" ? options.user
                           : arg == "--role" ? options.role : options.password_file;
      field = value();
      if (field.empty()) throw UsageError(arg + " needs a value");
    } else if (arg == "--password") {
      throw UsageError("a password is never a command-line value: use --password-file FILE or ISC_PASSWORD");
    } else if (arg == "--show-settings") {
      options.show_settings = true;
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
  if (!options.config_file.empty() && options.no_config)
    throw UsageError("give --config or --no-config, not both");
  const bool fleet_options = options.jobs != 0 || options.jobs_per_host != 0 ||
                            !options.journal.empty() || !options.resume.empty() || options.yes;
  if (fleet_options && !options.Fleet())
    throw UsageError("--jobs, --jobs-per-host, --journal, --resume and --yes are for many databases: "
                     "give --targets FILE or --database more than once");
  if (options.Fleet()) {
    if (options.history || options.show_settings || !options.module_path.empty())
      throw UsageError("--history, --show-settings and --module take one --database, not many");
    if (options.targets_file == "-" && options.script_file == "-")
      throw UsageError("standard input cannot be both the script and the targets");
    have_database = true;
  }
  if (options.history) {
    if (!have_database) throw UsageError("--database is missing");
    if (have_script || !options.run_options.empty() || !options.module_path.empty() ||
        options.show_settings)
      throw UsageError("--history shows the history and runs nothing: it takes --database, the "
                       "login and --report only");
    if (options.report == Report::kNone) throw UsageError("--history shows text or json");
    return options;
  }
  try {
    tolvane::ParseRunOptions(options.run_options);
  } catch (const tolvane::ERunOptions& error) {
    throw UsageError(error.Message());
  }
  if (options.show_settings) {
    if (have_script) throw UsageError("--show-settings runs nothing: it takes no script");
    if (!options.module_path.empty()) throw UsageError("--show-settings shows this program's settings, not a module's");
    return options;
  }
  if (!have_database) throw UsageError("--database is missing");
  if (!have_script) throw UsageError("the script file is missing (use - for standard input)");
  if (!options.module_path.empty()) {
    if (!options.run_options.empty())
      throw UsageError("--module runs the module as a server does: it takes no run options");
    if (!options.config_file.empty() || options.no_config || !options.user.empty() ||
        !options.role.empty() || !options.password_file.empty())
      throw UsageError("--module runs the module as a server does: it reads its own configuration and login");
    if (report_given && options.report != Report::kNone)
      throw UsageError("--module runs the module as a server does: it has no report");
    options.report = Report::kNone;
  }
  return options;
}

const char* UsageText() {
  return "usage: tolvane-exec --database PATH [--mode M] [--dialect D] [--lock-timeout N]\n"
         "                   [--charset CS] [--sql-dialect N] [--once ID] [--options TEXT]\n"
         "                   [--report text|json|none] [--segment-size N]\n"
         "                   [--config FILE | --no-config] [--user NAME] [--password-file FILE] [--role NAME] SCRIPT|-\n"
         "       tolvane-exec (--targets FILE|- | --database PATH --database PATH ...)\n"
         "                   [--jobs N] [--jobs-per-host M] [--journal FILE] [--resume FILE]\n"
         "                   [--yes] [run, report and login options as above] SCRIPT|-\n"
         "       tolvane-exec --database PATH --module PATH [--segment-size N] SCRIPT|-\n"
         "       tolvane-exec --database PATH --history [--report text|json] [login options as above]\n"
         "       tolvane-exec --show-settings [--config FILE | --no-config] [options as above]\n"
         "\n"
         "Runs SCRIPT (- reads standard input) against\n"
         "PATH with the engine of executa_sql, as a Firebird server would run it,\n"
         "and prints the result text on standard output.\n"
         "\n"
         "  --database PATH     the database argument: a file path (embedded) or host:path\n"
         "  --mode M            continue (default): each statement commits on its own;\n"
         "                      bail: stop at the first failure; atomic: all or nothing;\n"
         "                      batch: one transaction, a failure undoes only its statement;\n"
         "                      isql (the isql dialect's default): transactions as isql has them\n"
         "  --dialect D         lines (default): one statement per line; isql: statements\n"
         "                      end with ; (SET TERM changes it), comments allowed\n"
         "  --charset CS        the connection's character set, as isql's -ch (e.g. UTF8)\n"
         "  --sql-dialect N     the SQL dialect to connect and prepare with: 1, 2 or 3\n"
         "  --lock-timeout N    seconds a statement waits for a lock (0: no limit), or nowait\n"
         "  --once ID           apply the script once under ID: a database that has it\n"
         "                      applied (same checksum) runs nothing and exits 0\n"
         "  --history           print the database's history of scripts applied once\n"
         "                      (with --report json: as JSON) and run nothing\n"
         "  --options TEXT      the same as name=value pairs: 'mode=batch;lock_timeout=5'\n"
         "  --report text       (default) a line per failed statement, then a summary,\n"
         "                      on standard error\n"
         "  --report json       one JSON document on standard output instead of the\n"
         "                      result text: the run, every statement's outcome, the summary\n"
         "  --report none       no report; lists the failure files the run wrote\n"
         "  --module PATH       run through that module's executa_sql (no report)\n"
         "  --config FILE       the configuration to read (default: $UDFTOLVANE_CONF, else\n"
         "                      udftolvane.conf beside the module, else in the server's\n"
         "                      configuration folder, as the module looks for it)\n"
         "  --no-config         read no configuration\n"
         "  --user NAME         the login (default: ISC_USER, else the configuration's)\n"
         "  --password-file FILE  the password as the first line of FILE (default:\n"
         "                      ISC_PASSWORD, else the configuration's)\n"
         "  --role NAME         the role (default: the configuration's)\n"
         "  --show-settings     print every setting, its value and where it came from\n"
         "                      (file and line, environment, option, default); run nothing\n"
         "  --segment-size N    largest BLOB segment handed over, 1..65535 (default 32768)\n"
         "\n"
         "Many databases (each runs as a run with --database would):\n"
         "  --targets FILE      the databases, one a line (# comments); - reads standard\n"
         "                      input; --database given more than once adds to them\n"
         "  --jobs N            databases at once, 1..64 (default: the processors, at most 8)\n"
         "  --jobs-per-host M   at most M at once on one server (default: no bound)\n"
         "  --journal FILE      append a JSON line per finished database\n"
         "  --resume FILE       skip the databases FILE shows done (ok or failed\n"
         "                      statements), run the rest, and append to FILE\n"
         "  --yes               run many databases without --once from a terminal\n"
         "\n"
         "Exit status: 0 the result is \"ok\" and no statement failed; 3 the result is\n"
         "\"ok\" but a statement failed; 1 the run broke off (the result is an error\n"
         "text); 2 the run could not be made (bad command line, unreadable script,\n"
         "module that cannot be loaded). Over many databases: 0 every one ended ok,\n"
         "3 statements failed on some, 1 some broke off, could not be reached, were\n"
         "refused or were interrupted.\n"
         "Failure files (TESTE<n>.TXT) go to $UDFTOLVANE_FAILURE_DIR, else the\n"
         "configuration's failure_dir, else /tmp.\n"
         "\n"
         "example:\n"
         "  printf 'CREATE TABLE T (ID INTEGER)\\nINSERT INTO T VALUES (1)\\n' |\n"
         "    tolvane-exec --database /tmp/demo.fdb -\n";
}

}  // namespace tolvane::exec
