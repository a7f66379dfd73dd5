#!/usr/bin/env python3
"""Times the module and its anchors in one run on one machine.

Paths, each running a script of N single-line INSERTs, every line in its own
committed transaction:
  a  client library alone, embedded (tolvane-bench-client-loop)
  b  the module through tolvane-exec, embedded
  c  the module inside the private server, one call from isql-fb with the
     script as a BLOB and a plain database path
  d  the minimal external function of the bench, called like (c)
  e  EXECUTE BLOCK: EXECUTE STATEMENT ... ON EXTERNAL DATA SOURCE ... WITH
     AUTONOMOUS TRANSACTION per line, from isql-fb (N = 1,000 only)
  f  isql-fb running the script with a COMMIT after every line, embedded
  g  (b) with the run log on (UDFTOLVANE_RUN_LOG_DIR)
  h  (c) in a second private server whose environment turns the run log on
  i  (b) in batch mode: one transaction, a failed line undone alone
  j  client library alone, embedded, every line in one transaction
  k  (b) in bail mode
  l  (b) in atomic mode
  m  (c) on a private Firebird 5 server (scripts/fbserver5.sh), its own isql
  n  (d) on that Firebird 5 server
  o  (c) on a private Firebird 4 server (scripts/fbserver4.sh), its own isql
  p  (d) on that Firebird 4 server
     (m) to (p) run in the full bench only, where that version's tarball is
  r  TOLVANE_RUN under the caller's identity, in the server like (c): the same
     script as rows, on the caller's own attachment (N = 10,000 and 100,000,
     forced writes off; against (c))
  u  tolvane-exec over a fleet: 200 databases of the private server (server
     targets, host/port:path), a 100-line script each, --jobs 1, 2, 4 and 8
     (--fleet-only; against --jobs 1 in the same run); beside it the peak
     memory of tolvane-exec over 100 and over 1,000 targets
(g) to (l) run at one N each (see --help of the full run's plan below).
Besides: the peak memory of (b) with and without the report and the run log,
the isql splitter's time on a 100 MB script against a run of the same
script, and the isql dialect's differential corpus (tests/e2e/isql_corpus)
run whole by tolvane-exec --dialect isql against isql-fb -i, embedded.

Timing: the embedded paths are whole processes, timed from outside. (c), (d),
(e), (h), (m) and (n) are the one SELECT (or EXECUTE BLOCK) as isql-fb's SET
STATS reports it: isql's start and its attachment are outside, loading the BLOB too.
Microseconds per line are (T(N) - T(empty)) / N, the path's own fixed cost
taken out; ratios compare whole times of the same N.

Called by bench/run.sh, which builds first.
"""

import argparse
import datetime
import json
import os
import platform
import re
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import resource
import tempfile
import time

FB_LIBDIR = "/usr/lib/x86_64-linux-gnu/firebird/3.0"
FB_CONFDIR = "/etc/firebird/3.0"
FB_SERVER = "/usr/sbin/firebird"
PASSWORD = "ravenquil"

PATH_NAMES = {
    "a": "client library loop, embedded",
    "b": "module via tolvane-exec, embedded",
    "c": "module in the server, from isql-fb",
    "d": "minimal external function in the server",
    "e": "EXECUTE STATEMENT ... ON EXTERNAL DATA SOURCE, autonomous",
    "f": "isql-fb with COMMIT after each line, embedded",
    "g": "module via tolvane-exec, run log on, embedded",
    "h": "module in a second server, run log on, from isql-fb",
    "i": "module via tolvane-exec, batch mode, embedded",
    "j": "client library loop in one transaction, embedded",
    "k": "module via tolvane-exec, bail mode, embedded",
    "l": "module via tolvane-exec, atomic mode, embedded",
    "m": "module in the Firebird 5 server",
    "n": "minimal external function in the Firebird 5 server",
    "o": "module in the Firebird 4 server",
    "p": "minimal external function in the Firebird 4 server",
    "r": "TOLVANE_RUN on the caller's attachment, from isql-fb",
}
# The paths that run inside a server, and the engine of those that run in a
# server of a tarball tree (Firebird 4 or 5).
SERVER_PATHS = "cdehmnopr"
TREE_PATHS = {"m": "5", "n": "5", "o": "4", "p": "4"}
# The paths that run outside a server, timed as whole processes.
EMBEDDED = "abfgijkl"
# The path each one is set against in the same round.
ANCHORS = {"a": None, "b": "a", "c": "d", "d": None, "e": "c", "f": "a",
           "g": "b", "h": "c", "i": "j", "j": None, "k": "b", "l": "i",
           "m": "n", "n": None, "o": "p", "p": None, "r": "c"}
# tolvane-exec's mode for each path that runs the module embedded. No report:
# (b) runs as it did before tolvane-exec had one.
EXEC_MODES = {"b": None, "g": None, "i": "batch", "k": "bail", "l": "atomic"}

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# The isql dialect's differential corpus, and how its test runs each script
# (the scripts some need first, isql's own options for some).
CORPUS = os.path.join(ROOT, "tests", "e2e", "isql_corpus")
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from test_isql_dialect import ISQL_ARGS as CORPUS_ISQL_ARGS, PREREQUISITES as CORPUS_PREREQUISITES  # noqa: E402


def declarations():
    """The module's legacy declaration as the project ships it, and the
    bench's own function declared exactly like it under its own names."""
    module = ("DECLARE EXTERNAL FUNCTION EXECUTA_SQL BLOB, CSTRING(1024) CHARACTER SET NONE "
              "RETURNS CSTRING(32000) CHARACTER SET NONE ENTRY_POINT 'executa_sql' MODULE_NAME 'UDFTolvane';")
    shipped = os.path.join(ROOT, "sql", "udftolvane.sql")
    if os.path.exists(shipped):
        code = "".join(l.split("--", 1)[0].rstrip() + "\n" for l in open(shipped))
        match = re.search(r"DECLARE\s+EXTERNAL\s+FUNCTION\s+EXECUTA_SQL\b.*?;", code, re.S | re.I)
        if match:
            module = match.group(0)
    minimal = re.sub(r"EXECUTA_SQL", "TOLVANE_BENCH_EXECUTA", module, count=1, flags=re.I)
    minimal = re.sub(r"ENTRY_POINT\s+'[^']*'", "ENTRY_POINT 'tolvane_bench_executa'", minimal, flags=re.I)
    minimal = re.sub(r"MODULE_NAME\s+'[^']*'", "MODULE_NAME 'TolvaneBenchUdf'", minimal, flags=re.I)
    return module, minimal


def procedure_declaration():
    """TOLVANE_RUN as the UDR declaration ships it (beside the legacy
    function, which shares no name with it). Declared through the server,
    whose UDR folder holds the module."""
    shipped = os.path.join(ROOT, "sql", "udftolvane_udr.sql")
    code = "".join(l.split("--", 1)[0].rstrip() + "\n" for l in open(shipped))
    match = re.search(r"CREATE\s+OR\s+ALTER\s+PROCEDURE\s+TOLVANE_RUN\b.*?ENGINE\s+UDR\s*;", code, re.S | re.I)
    if not match:
        raise BenchFailure(f"no TOLVANE_RUN declaration in {shipped}")
    return match.group(0)


def exec_function_declaration():
    """TOLVANE_EXEC as the UDR declaration ships it."""
    shipped = os.path.join(ROOT, "sql", "udftolvane_udr.sql")
    code = "".join(l.split("--", 1)[0].rstrip() + "\n" for l in open(shipped))
    match = re.search(r"CREATE\s+OR\s+ALTER\s+FUNCTION\s+TOLVANE_EXEC\b.*?ENGINE\s+UDR\s*;", code, re.S | re.I)
    if not match:
        raise BenchFailure(f"no TOLVANE_EXEC declaration in {shipped}")
    return match.group(0)


class BenchFailure(Exception):
    pass


def log(*parts):
    print("==>", *parts, file=sys.stderr, flush=True)


def embedded_env():
    # Embedded paths use the system's configuration, never the private root.
    env = dict(os.environ)
    for name in ("FIREBIRD", "FIREBIRD_LOCK", "FIREBIRD_TMP", "ISC_USER", "ISC_PASSWORD",
                 "UDFTOLVANE_RUN_LOG_DIR"):
        env.pop(name, None)
    return env


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def process_cpu(pid):
    """User plus system time of a whole process (all its threads, living and
    ended), in seconds; clock-tick resolution."""
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


# CPU seconds of the last child that run() waited for.
last_cpu = 0.0


def run(cmd, *, env=None, input_text=None, check=True, timeout=3600):
    global last_cpu
    cpu_before = children_cpu()
    started = time.perf_counter()
    proc = subprocess.run(cmd, env=env or embedded_env(), input=input_text, capture_output=True,
                          text=True, errors="replace", timeout=timeout)
    elapsed = time.perf_counter() - started
    last_cpu = children_cpu() - cpu_before
    if check and proc.returncode != 0:
        raise BenchFailure(f"{' '.join(cmd[:4])}... exited {proc.returncode}:\n{proc.stdout[-2000:]}\n{proc.stderr[-2000:]}")
    return proc, elapsed


GNU_TIME = "/usr/bin/time"


def run_peak_rss(cmd, env=None, discard_stdout=False):
    """Runs a command; returns (exit code, stdout, stderr, seconds, peak
    resident set in bytes). The peak is the command's own, as GNU time reads
    it from its child: a child of this process would report at least this
    process's own peak, which Linux carries into a child through fork and
    exec."""
    if not os.access(GNU_TIME, os.X_OK):
        raise BenchFailure(f"{GNU_TIME} missing (apt-get install time): no peak memory")
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err, \
            tempfile.NamedTemporaryFile("r") as peak_file:
        started = time.perf_counter()
        proc = subprocess.run([GNU_TIME, "-f", "%M", "-o", peak_file.name] + cmd, env=env or embedded_env(),
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL if discard_stdout else out,
                              stderr=err)
        elapsed = time.perf_counter() - started
        out.seek(0)
        err.seek(0)
        # GNU time prints "Command exited with non-zero status N" before
        # the figure when the command fails.
        peak_kib = int(peak_file.read().split()[-1])
        return (proc.returncode, out.read().decode(errors="replace"), err.read().decode(errors="replace"),
                elapsed, peak_kib * 1024)


def isql_embedded(database, sql):
    proc, _ = run(["isql-fb", "-q", "-bail", "-m", "-user", "SYSDBA", database], input_text=sql)
    return proc.stdout


TARBALLS = {"4": "firebird4/firebird-4.0.7-linux-x64.tar.xz", "5": "firebird5/firebird-5.0.4-linux-x64.tar.xz"}


def tree_tarball(major):
    return os.environ.get(f"TOLVANE_FB{major}_TARBALL",
                          os.path.join(os.path.dirname(ROOT), "shared", *TARBALLS[major].split("/")))


# ---------------------------------------------------------------- scripts

def insert_line(i):
    return f"INSERT INTO T (ID, V) VALUES ({i}, 'bench line {i}')"


def write_scripts(folder, n):
    """The module's script and the same lines for isql with a COMMIT each."""
    plain = os.path.join(folder, f"script-{n}.sql")
    committed = os.path.join(folder, f"script-{n}-isql.sql")
    with open(plain, "w") as out:
        for i in range(1, n + 1):
            out.write(insert_line(i) + "\n")
    with open(committed, "w") as out:
        for i in range(1, n + 1):
            out.write(insert_line(i) + ";\nCOMMIT;\n")
    return plain, committed


def write_memory_script(path, lines):
    """Cheap lines of 101 bytes: an UPDATE of an empty table, padded with a
    comment, so that the run is short and every line still does the full
    per-line work (transaction, statement, commit)."""
    with open(path, "w") as out:
        for number in range(lines):
            head = f"UPDATE T SET ID = ID WHERE ID = -1 /* line {number:08d} "
            out.write(head + "x" * (97 - len(head)) + " */\n")
    return lines


def check_run_log(folder, statements):
    """The one log a run left: whole lines, ending in its summary with the
    statement count and "ok". Removed afterwards, so the next run's is alone."""
    files = os.listdir(folder)
    if len(files) != 1:
        raise BenchFailure(f"run log: {len(files)} files in {folder}, expected 1")
    path = os.path.join(folder, files[0])
    with open(path, "rb") as log_file:
        log_file.seek(max(0, os.path.getsize(path) - 4096))
        last = log_file.read().rstrip(b"\n").rsplit(b"\n", 1)[-1]
    os.remove(path)
    summary_line = json.loads(last).get("summary", {})
    if summary_line.get("statements") != statements or summary_line.get("result") != "ok":
        raise BenchFailure(f"run log ends in {last[:300]!r}, expected {statements} statements and ok")


# --------------------------------------------------------------- server

class Server:
    """The private Firebird server: the team's script when it gives a server
    that may load our build's modules, else an instance of our own."""

    def __init__(self, build, work, name="fbserver", run_log=None):
        self.build = build
        self.work = work
        self.name = name
        self.run_log = run_log  # a run-log folder for the module, or None
        self.port = None
        self.own_proc = None
        self.state = None
        self.kind = None
        self.pid = None

    def cpu(self):
        return process_cpu(self.pid) if self.pid else 0.0

    def start(self):
        script = os.path.join(ROOT, "scripts", "fbserver.sh")
        if (not self.run_log and os.environ.get("TOLVANE_FB_PORT")
                and os.environ.get("TOLVANE_FB_LIB_DIR") == os.path.join(self.build, "lib")):
            self.port = int(os.environ["TOLVANE_FB_PORT"])
            self.pid = int(os.environ.get("TOLVANE_FB_PID", "0")) or None
            self.kind = f"already running on port {self.port} (TOLVANE_FB_PORT)"
            return
        if os.path.exists(script):
            self.state = os.path.join(self.work, self.name)
            env = embedded_env()
            if self.run_log:
                env["TOLVANE_FB_RUN_LOG_DIR"] = self.run_log
            proc, _ = run(["bash", script, "start", "--build", self.build, "--state", self.state], env=env,
                          check=False)
            env_file = os.path.join(self.state, "server.env")
            if proc.returncode == 0 and os.path.exists(env_file):
                values = dict(line.strip().split("=", 1) for line in open(env_file) if "=" in line)
                self.port = int(values["TOLVANE_FB_PORT"])
                self.pid = int(values.get("TOLVANE_FB_PID", "0")) or None
                self.kind = f"scripts/fbserver.sh, port {self.port}"
                return
            log("scripts/fbserver.sh did not start a server; starting one of our own\n" + proc.stderr[-1500:])
        self.start_own()

    def fallback_to_own(self, reason):
        log(f"the server of scripts/fbserver.sh cannot load our modules ({reason}); starting one of our own")
        self.stop()
        self.start_own()

    def start_own(self, wrapper=(), name=None):
        name = name or f"own-{self.name}"
        root = os.path.join(self.work, name, "root")
        state = os.path.dirname(root)
        shutil.rmtree(state, ignore_errors=True)
        os.makedirs(root)
        for sub in ("lock", "tmp", "failures"):
            os.makedirs(os.path.join(state, sub))
        for name in os.listdir(FB_CONFDIR):
            if name.endswith(".conf"):
                shutil.copy(os.path.join(FB_CONFDIR, name), root)
        shutil.copy(os.path.join(FB_LIBDIR, "firebird.msg"), root)
        os.symlink(os.path.join(FB_LIBDIR, "intl"), os.path.join(root, "intl"))
        port = free_port(3400)
        security = os.path.join(state, "security3.fdb")
        conf = os.path.join(root, "firebird.conf")
        # Firebird takes the first occurrence of a setting: drop the
        # distribution's UdfAccess line rather than appending a second one.
        lines = [l for l in open(conf) if not re.match(r"\s*UdfAccess\s*=", l)]
        lines.append(f"\nRemoteServicePort = {port}\nRemoteBindAddress = localhost\n"
                     f"SecurityDatabase = {security}\nUdfAccess = Restrict {os.path.join(self.build, 'lib')}\n")
        open(conf, "w").writelines(lines)
        env = embedded_env()
        env.update(FIREBIRD=root, FIREBIRD_LOCK=os.path.join(state, "lock"),
                   FIREBIRD_TMP=os.path.join(state, "tmp"),
                   UDFTOLVANE_FAILURE_DIR=os.path.join(state, "failures"))
        if self.run_log:
            os.makedirs(self.run_log, exist_ok=True)
            env["UDFTOLVANE_RUN_LOG_DIR"] = self.run_log
        run(["isql-fb", "-q"], env=env, input_text=(
            f"create database '{security}' user SYSDBA;\n"
            f"create or alter user SYSDBA password '{PASSWORD}' using plugin Srp;\ncommit;\n"))
        self.own_proc = subprocess.Popen(list(wrapper) + [FB_SERVER], env=env, stdin=subprocess.DEVNULL,
                                         stdout=open(os.path.join(state, "server.out"), "w"),
                                         stderr=subprocess.STDOUT)
        self.port = port
        self.pid = self.own_proc.pid
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
                break
            except OSError:
                time.sleep(0.1)
        else:
            raise BenchFailure("our own Firebird server did not start")
        if wrapper:
            # Under valgrind the port answers before the server does.
            self.kind = "valgrind"
            for _ in range(120):
                try:
                    self.isql(os.path.join(state, "security3.fdb"), "select 1 from rdb$database;\n")
                    break
                except BenchFailure:
                    time.sleep(1)
            else:
                raise BenchFailure("the server under valgrind did not answer")
        self.kind = f"bench's own private instance, port {port}"

    def stop(self):
        if self.own_proc is not None:
            self.own_proc.send_signal(signal.SIGTERM)
            try:
                self.own_proc.wait(10)
            except subprocess.TimeoutExpired:
                self.own_proc.kill()
            self.own_proc = None
        elif self.state is not None:
            run(["bash", os.path.join(ROOT, "scripts", "fbserver.sh"), "stop", "--build", self.build,
                 "--state", self.state], check=False)
            # Make sure the server we had started is gone, whatever the
            # script's own bookkeeping says.
            for pid in servers_of_root(os.path.join(self.state, "root")):
                os.kill(pid, signal.SIGTERM)
            self.state = None

    def address(self, database):
        return f"localhost/{self.port}:{database}"

    def isql(self, database, sql):
        proc, _ = run(["isql-fb", "-q", "-bail", "-m", "-user", "SYSDBA", "-password", PASSWORD,
                       self.address(database)], input_text=sql, check=False)
        if proc.returncode != 0:
            raise BenchFailure(f"isql-fb on the server failed:\n{compact(proc.stdout)[-3000:]}")
        return proc.stdout


class TreeServer:
    """The private Firebird 4 or 5 server of scripts/fbserver4.sh or
    fbserver5.sh, in the work folder, with the tree's own isql and client
    environment. Its databases are made with its own tools (on-disk
    structure 13)."""

    def __init__(self, build, work, major):
        self.build = build
        self.major = major
        self.script = os.path.join(ROOT, "scripts", f"fbserver{major}.sh")
        self.state = os.path.join(work, f"fbserver{major}")
        self.run_log = None  # the module's run log stays off here
        self.values = None
        self.port = None
        self.pid = None
        self.kind = None

    def cpu(self):
        return process_cpu(self.pid) if self.pid else 0.0

    def start(self):
        proc, _ = run(["bash", self.script, "start", "--build", self.build, "--state", self.state], check=False)
        env_file = os.path.join(self.state, "server.env")
        if proc.returncode != 0 or not os.path.exists(env_file):
            raise BenchFailure(f"{self.script} did not start a server:\n{proc.stderr[-1500:]}")
        self.values = dict(line.strip().split("=", 1) for line in open(env_file) if "=" in line)
        self.port = int(self.values["TOLVANE_FB_PORT"])
        self.pid = int(self.values["TOLVANE_FB_PID"])
        self.kind = f"scripts/fbserver{self.major}.sh, Firebird {self.major}, port {self.port}"

    def stop(self):
        if self.values is not None:
            run(["bash", self.script, "stop", "--build", self.build, "--state", self.state], check=False)
            self.values = None

    def env(self):
        """For the tree's tools and for programs that load the client library
        by name (the script loader): the tree's library first."""
        env = embedded_env()
        env.update(FIREBIRD=self.values["TOLVANE_FB_ROOT"], FIREBIRD_LOCK=self.values["TOLVANE_FB_LOCK_DIR"],
                   FIREBIRD_TMP=self.values["TOLVANE_FB_TMP_DIR"],
                   LD_LIBRARY_PATH=os.path.join(self.values["TOLVANE_FB_TREE"], "lib"))
        return env

    def tool(self, name):
        return os.path.join(self.values["TOLVANE_FB_TREE"], "bin", name)

    def address(self, database):
        return f"localhost/{self.port}:{database}"

    def isql(self, database, sql):
        proc, _ = run([self.tool("isql"), "-q", "-bail", "-m", "-user", "SYSDBA", "-password", PASSWORD,
                       self.address(database)], input_text=sql, check=False, env=self.env())
        if proc.returncode != 0:
            raise BenchFailure(f"isql on the Firebird 5 server failed:\n{compact(proc.stdout)[-3000:]}")
        return proc.stdout


def servers_of_root(root):
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            if os.readlink(f"/proc/{entry}/exe") != FB_SERVER:
                continue
            environ = open(f"/proc/{entry}/environ", "rb").read().split(b"\0")
        except OSError:
            continue
        if f"FIREBIRD={root}".encode() in environ:
            found.append(int(entry))
    return found


def free_port(first):
    for port in range(first, first + 200):
        with socket.socket() as s:
            try:
                s.bind(("127.0.0.1", port))
                return port
            except OSError:
                continue
    raise BenchFailure("no free port")


# ------------------------------------------------------------ databases

class Databases:
    """Fresh databases for every run, copied from templates made once."""

    def __init__(self, work, tools):
        self.work = work
        self.tools = tools
        self.templates = {}
        self.counter = 0
        self.trees = {}

    def make_templates(self, trees=()):
        """Templates for the Firebird 3 paths, and for the Firebird 4 and 5
        ones of the running tree servers, made by that server's own tools."""
        self.trees = {server.major: server for server in trees}
        engines = [("3", "isql-fb", "gfix", None)]
        for major, server in self.trees.items():
            engines.append((major, server.tool("isql"), server.tool("gfix"), server.env()))
        for engine, isql, gfix, env in engines:
            base = os.path.join(self.work, f"template{engine}.fdb")
            run([isql, "-q", "-bail"], env=env, input_text=(
                f"create database '{base}' user SYSDBA page_size 8192;\n"
                "create table t (id integer, v varchar(60));\n"
                "create table scripts (id integer, script blob sub_type text);\n"
                + "\n".join(declarations()) + "\ncommit;\n"))
            for mode in ("off", "on"):
                path = os.path.join(self.work, f"template{engine}-fw-{mode}.fdb")
                shutil.copyfile(base, path)
                run([gfix, "-write", "async" if mode == "off" else "sync", "-user", "SYSDBA", path], env=env)
                self.templates[engine, mode] = path
            os.remove(base)
        # For the splitter's script: its table, indexed so that its UPDATEs
        # find their row (or none) without reading the table.
        split = os.path.join(self.work, "template-split.fdb")
        run(["isql-fb", "-q", "-bail"], input_text=(
            f"create database '{split}' user SYSDBA page_size 8192;\n"
            "create table t (id integer, name varchar(60));\ncreate index t_id on t (id);\ncommit;\n"))
        run(["gfix", "-write", "async", "-user", "SYSDBA", split])
        self.templates["3", "split"] = split
        # For the corpus: an empty database, as the differential test's.
        empty = os.path.join(self.work, "template-empty.fdb")
        run(["isql-fb", "-q", "-bail"], input_text=(
            f"create database '{empty}' user SYSDBA page_size 8192;\ncommit;\n"))
        run(["gfix", "-write", "async", "-user", "SYSDBA", empty])
        self.templates["3", "empty"] = empty

    def declare_procedure(self, server):
        """TOLVANE_RUN in the Firebird 3 templates, through server."""
        for mode in ("off", "on"):
            server.isql(self.templates["3", mode], procedure_declaration() + "\ncommit;\n")

    def fresh(self, forced_writes, scripts=(), engine="3"):
        """A new database; scripts is a list of (id, file) to load as BLOBs."""
        self.counter += 1
        path = os.path.join(self.work, f"run-{self.counter}.fdb")
        shutil.copyfile(self.templates[engine, forced_writes], path)
        env = self.trees[engine].env() if engine in self.trees else None
        for script_id, file in scripts:
            run([self.tools["load"], path, str(script_id), file], env=env)
        return path


# --------------------------------------------------------------- paths

ELAPSED = re.compile(r"Elapsed time\s*=\s*([0-9.]+)\s*sec")  # Firebird 3: "time=", 5: "time ="


def compact(text):
    """isql pads a CSTRING(32000) column with blanks: keep the words."""
    return re.sub(r"[ \t]{3,}", "  ", text)


def count_rows(text):
    match = re.search(r"ROWS_IN_T\s*=+\s*(\d+)", text)
    if not match:
        raise BenchFailure(f"no row count in:\n{text[-2000:]}")
    return int(match.group(1))


def check_count(path_key, got, expected):
    if got != expected:
        raise BenchFailure(f"path ({path_key}): {got} rows in T, expected {expected}")


def exec_command(tools, path_key, *options):
    """tolvane-exec as path_key runs it, up to the database argument."""
    mode = EXEC_MODES[path_key]
    return ([tools["exec"], "--report", "none"] + (["--mode", mode] if mode else []) + list(options)
            + ["--database"])


def time_embedded(path_key, tools, db, script, isql_script, expected_rows, run_log=None):
    if path_key in "aj":
        extra = ["--one-transaction"] if path_key == "j" else []
        proc, elapsed = run([tools["client"]] + extra + [db, script], check=False)
        if proc.returncode != 0:
            raise BenchFailure(f"path ({path_key}) failed: {proc.stderr[-2000:]}")
    elif path_key in EXEC_MODES:
        env = embedded_env()
        if path_key == "g":
            env["UDFTOLVANE_RUN_LOG_DIR"] = run_log
        proc, elapsed = run(exec_command(tools, path_key) + [db, script], env=env, check=False)
        if proc.returncode != 0 or proc.stdout.strip().splitlines()[-1:] != ["ok"]:
            raise BenchFailure(f"path ({path_key}) failed (exit {proc.returncode}): {proc.stdout[-1500:]} "
                               f"{proc.stderr[-1500:]}")
        if path_key == "g":
            check_run_log(run_log, expected_rows)
    elif path_key == "f":
        proc, elapsed = run(["isql-fb", "-q", "-bail", "-user", "SYSDBA", "-i", isql_script, db], check=False)
        if proc.returncode != 0 or proc.stdout.strip():
            raise BenchFailure(f"path (f) failed: {proc.stdout[-1500:]} {proc.stderr[-1500:]}")
    else:
        raise ValueError(path_key)
    cpu = last_cpu
    check_count(path_key, count_rows(isql_embedded(db, "select count(*) as rows_in_t from t;")), expected_rows)
    return elapsed, cpu


def udf_call_sql(path_key, db, where):
    if path_key == "r":
        # Every row is fetched; the result row alone is shown.
        return ("select r.message as result from scripts s cross join tolvane_run(s.script, null) r "
                f"where s.{where} and r.status = 'result';")
    function = {"c": "EXECUTA_SQL", "d": "TOLVANE_BENCH_EXECUTA", "h": "EXECUTA_SQL",
                "m": "EXECUTA_SQL", "n": "TOLVANE_BENCH_EXECUTA",
                "o": "EXECUTA_SQL", "p": "TOLVANE_BENCH_EXECUTA"}[path_key]
    return f"select {function}(script, '{db}') as result from scripts where {where};"


def external_block_sql(db, where):
    # Splits the BLOB into lines in PSQL and hands every line to the built-in
    # route, the way one would without an external function.
    return f"""set term ^ ;
execute block returns (lines_run integer) as
  declare s blob sub_type text;
  declare len integer;
  declare p integer;
  declare q integer;
  declare line varchar(8000);
begin
  lines_run = 0;
  select script from scripts where {where} into s;
  len = char_length(s);
  p = 1;
  while (p <= len) do
  begin
    q = position(ascii_char(10), s, p);
    if (q = 0) then q = len + 1;
    line = substring(s from p for q - p);
    if (line <> '') then
    begin
      execute statement line on external data source '{db}'
        as user 'SYSDBA' password '{PASSWORD}' with autonomous transaction;
      lines_run = lines_run + 1;
    end
    p = q + 1;
  end
  suspend;
end^
set term ; ^
"""


def time_server(path_key, server, db, where, expected_rows, calls=1):
    """Runs one timed statement on the server; returns seconds per call."""
    if path_key == "e":
        statement = external_block_sql(db, where)
    elif path_key == "-":
        statement = f"select count(*) from scripts where {where};"  # the same isql call, no function
    else:
        statement = udf_call_sql(path_key, db, where)
    cpu_before = server.cpu()
    out = server.isql(db, f"set stats on;\n{statement}\nset stats off;\ncommit;\n"
                          "select count(*) as rows_in_t from t;\n")
    cpu = server.cpu() - cpu_before
    match = ELAPSED.search(out)
    if not match:
        raise BenchFailure(f"no elapsed time from isql:\n{out[-2000:]}")
    if path_key in "cdhmnopr":
        results = re.findall(r"^(\S.*?)\s*$", out.split("=====", 1)[-1], re.M)
        oks = sum(1 for r in results if r == "ok")
        if oks != calls:
            raise BenchFailure(f"path ({path_key}) did not return ok {calls} time(s):\n{compact(out)[-2000:]}")
    check_count(path_key, count_rows(out), expected_rows)
    if server.run_log:
        check_run_log(server.run_log, expected_rows)
    return float(match.group(1)) / calls, cpu / calls


# --------------------------------------------------------------- stats

def summary(samples):
    wall = [w for w, _ in samples]
    cpu = [c for _, c in samples]
    return {"median": statistics.median(wall), "min": min(wall), "max": max(wall),
            "cpu_min": min(cpu), "cpu_max": max(cpu),
            "runs": len(wall), "samples": wall, "cpu_median": statistics.median(cpu), "cpu_samples": cpu}


class Bench:
    def __init__(self, args):
        self.args = args
        self.build = os.path.abspath(args.build)
        self.tools = {
            "client": os.path.join(self.build, "bin", "tolvane-bench-client-loop"),
            "load": os.path.join(self.build, "bin", "tolvane-bench-load-script"),
            "exec": os.path.join(self.build, "bin", "tolvane-exec"),
            "config": os.path.join(self.build, "bin", "tolvane-bench-config-cost"),
            "split": os.path.join(self.build, "bin", "tolvane-bench-isql-split"),
        }
        needed = ["client", "load"] + (["exec"] if any(k in args.paths for k in EXEC_MODES) else []) + (
            ["split"] if args.split_rounds > 0 else []) + (["config"] if args.config_only else []) + (
            ["exec"] if args.corpus_rounds > 0 else [])
        for tool in (self.tools[name] for name in needed):
            if not os.access(tool, os.X_OK):
                raise BenchFailure(f"missing {tool}: build first (bench/run.sh does)")
        self.work = tempfile.mkdtemp(prefix="tolvane-bench-", dir=args.work_root)
        self.dbs = Databases(self.work, self.tools)
        self.server = Server(self.build, self.work)
        self.run_log = os.path.join(self.work, "run-log")  # (g)'s
        os.makedirs(self.run_log)
        self.trees = {major: TreeServer(self.build, self.work, major) for major in ("4", "5")}
        # The embedded paths' failure files, if any, go here rather than to
        # /tmp, where other work's files would be listed by tolvane-exec
        # --report none as if this run had written them.
        os.environ["UDFTOLVANE_FAILURE_DIR"] = os.path.join(self.work, "failures")
        os.makedirs(os.environ["UDFTOLVANE_FAILURE_DIR"])
        self.log_server = Server(self.build, self.work, "fbserver-run-log", os.path.join(self.work, "server-run-log"))
        self.results = {"cases": {}, "empty": {}, "memory": {}}
        self.paths = [p for p in args.paths if p in PATH_NAMES]

    def keys_for(self, fw, n):
        """The paths a case runs: (a) to (f), (m) and (n) at every N ((e) up
        to 1,000), the others where the plan puts them."""
        return [k for k in self.paths
                if k in "abcdf" or k in TREE_PATHS or (k == "e" and n <= 1000) or (fw, n) in self.args.extra.get(k, ())]

    # One case: a path, a forced-writes mode and N. Runs are interleaved
    # across paths (see measure) so that noise from the machine hits all
    # paths alike.
    def one_run(self, key, fw, n, scripts):
        plain, committed = scripts
        if key in EMBEDDED:
            db = self.dbs.fresh(fw)
            try:
                return time_embedded(key, self.tools, db, plain, committed, n, self.run_log)
            finally:
                os.remove(db)
        db = self.dbs.fresh(fw, [(1, plain)], self.engine(key))
        try:
            return time_server(key, self.server_of(key), db, "id = 1", n)
        finally:
            os.remove(db)

    def engine(self, key):
        return TREE_PATHS.get(key, "3")

    def server_of(self, key):
        if key == "h":
            return self.log_server
        return self.trees[TREE_PATHS[key]] if key in TREE_PATHS else self.server

    def measure(self, fw, n, keys, runs):
        scripts = write_scripts(self.work, n)
        samples = {k: [] for k in keys}
        for r in range(runs):
            for key in keys:
                if key == "e" and r >= self.args.slow_runs:
                    continue  # seconds per run: fewer runs
                samples[key].append(self.one_run(key, fw, n, scripts))
            log(f"forced writes {fw}, N={n}, run {r + 1}/{runs}: " +
                ", ".join(f"{k}={samples[k][-1][0] * 1e3:.0f} ms" for k in keys if len(samples[k]) == r + 1))
        for key in keys:
            self.results["cases"].setdefault(key, {}).setdefault(fw, {})[n] = summary(samples[key])
        for f in scripts:
            os.remove(f)

    def fit_budget(self, fw, n, keys, runs):
        """With forced writes on, a line costs what the disk's flushes cost,
        which other work on the machine can stretch a hundredfold. Larger N
        get the runs that fit the budget, estimated from the smallest N of
        the same mode; what does not fit is said in the output."""
        done = self.results["cases"]
        smaller = [m for m in done.get(keys[0], {}).get(fw, {}) if 1000 <= m < n]
        if fw != "on" or not smaller:
            return keys, runs
        m = max(smaller)
        # A path not measured at the smaller N is taken to cost what (b) does.
        def estimate(k):
            case = done.get(k, {}).get(fw, {}).get(m) or done.get("b", {}).get(fw, {}).get(m)
            return case["median"] / m * n if case else 0.0
        per_round = sum(estimate(k) for k in keys)
        fit = int(self.args.slow_budget // per_round) if per_round > 0 else runs
        skipped = self.results.setdefault("skipped", [])
        if fit >= 3 or fit >= runs:
            return keys, min(runs, fit)
        without_f = [k for k in keys if k != "f"]
        per_round_ab = sum(estimate(k) for k in without_f)
        fit = int(self.args.slow_budget // per_round_ab) if per_round_ab > 0 else runs
        if fit >= 1:
            skipped.append(f"forced writes {fw}, N={n:,}: (f) left out, {min(runs, fit)} run(s) only "
                           f"(a round of all paths would take about {per_round:.0f} s)")
            return without_f, min(runs, fit)
        skipped.append(f"forced writes {fw}, N={n:,}: not run (one round would take about {per_round:.0f} s)")
        log(skipped[-1])
        return keys, 0

    def measure_empty(self, runs, calls):
        empty = os.path.join(self.work, "empty.sql")
        open(empty, "w").close()
        keys = [k for k in self.paths if k in "abcdef" or k in TREE_PATHS]
        samples = {k: [] for k in keys}
        for _ in range(runs):
            for key in keys:
                if key in "abf":
                    db = self.dbs.fresh("off")
                    samples[key].append(time_embedded(key, self.tools, db, empty, empty, 0))
                elif key == "e":
                    db = self.dbs.fresh("off", [(1, empty)])
                    samples[key].append(time_server(key, self.server, db, "id = 1", 0))
                else:
                    db = self.dbs.fresh("off", [(i, empty) for i in range(1, calls + 1)], self.engine(key))
                    samples[key].append(time_server(key, self.server_of(key), db, "id > 0", 0, calls))
                os.remove(db)
        for key in keys:
            self.results["empty"][key] = summary(samples[key])
        log("empty script, one call: " + ", ".join(
            f"{k}={statistics.median(w for w, _ in samples[k]) * 1e3:.2f} ms" for k in keys))

    # udftolvane.conf: (c)'s empty-script call with a file beside the module
    # and without, interleaved; and the reading alone, timed in-process
    # (tolvane-bench-config-cost), set against that call.
    def measure_config_cost(self, runs, calls):
        module_conf = os.path.join(self.build, "lib", "udftolvane.conf")
        if os.path.exists(module_conf):
            raise BenchFailure(f"{module_conf} exists already; the bench writes its own there")
        empty = os.path.join(self.work, "empty.sql")
        open(empty, "w").close()
        # Every kind of setting, so that each call does all the reading.
        text = (f"user = SYSDBA\npassword = {PASSWORD}\nallowed_databases = {self.work}/\n"
                "deny_security_database = yes\nlock_timeout = 10\ndefault_options = mode=continue\n"
                f"failure_dir = {self.work}\n")
        samples = {"without": [], "with": []}
        try:
            for _ in range(runs):
                for kind in ("without", "with"):
                    if kind == "with":
                        with open(module_conf, "w") as out:
                            out.write(text)
                        os.chmod(module_conf, 0o600)
                    db = self.dbs.fresh("off", [(i, empty) for i in range(1, calls + 1)])
                    samples[kind].append(time_server("c", self.server, db, "id > 0", 0, calls))
                    os.remove(db)
                    if os.path.exists(module_conf):
                        os.remove(module_conf)
        finally:
            if os.path.exists(module_conf):
                os.remove(module_conf)
        # Beside the build, not in the work folder: a folder others can write
        # on the way (/var/tmp) refuses every configuration file below it.
        conf_folder = os.path.join(self.build, "bench-config-cost")
        os.makedirs(conf_folder, mode=0o755, exist_ok=True)
        conf = os.path.join(conf_folder, "cost.conf")
        with open(conf, "w") as out:
            out.write(text)
        os.chmod(conf, 0o600)
        target = os.path.join(self.work, "cost.fdb")
        open(target, "w").close()
        # The server's configuration folder is the last place the module
        # looks: a root of the tool's own, like the private server's, so that
        # a udftolvane.conf of the machine's Firebird is no part of the count.
        root = os.path.join(self.work, "config-cost-root")
        os.makedirs(root)
        for name in os.listdir(FB_CONFDIR):
            if name.endswith(".conf") and name != "udftolvane.conf":
                shutil.copy(os.path.join(FB_CONFDIR, name), root)
        shutil.copy(os.path.join(FB_LIBDIR, "firebird.msg"), root)
        proc, _ = run([self.tools["config"], conf, target, "20000"], env=dict(embedded_env(), FIREBIRD=root))
        values = dict(item.split("=") for item in proc.stdout.split())
        paired = [w[0] / o[0] for w, o in zip(samples["with"], samples["without"]) if o[0] > 0]
        self.results["config"] = {
            "without": summary(samples["without"]), "with": summary(samples["with"]),
            "ratio": statistics.median(paired), "calls": calls,
            "read_us": float(values["with_file_us"]), "none_us": float(values["without_file_us"])}
        c = self.results["config"]
        log(f"configuration: read {c['read_us']:.1f} us (no file {c['none_us']:.1f} us); (c) empty call "
            f"{c['without']['median'] * 1e3:.2f} ms without, {c['with']['median'] * 1e3:.2f} ms with, "
            f"ratio {c['ratio']:.3f}")

    # (q): (c) with udftolvane.conf beside the module naming a login of its
    # own, which the module attaches through the server's port (loopback)
    # so that the server checks its password and its rights; against (c)
    # with the built-in login by plain path, interleaved, forced writes off.
    def measure_module_login(self, runs, sizes):
        module_conf = os.path.join(self.build, "lib", "udftolvane.conf")
        if os.path.exists(module_conf):
            raise BenchFailure(f"{module_conf} exists already; the bench writes its own there")
        user, password = "TOLVANE_BENCH_LOGIN", "bench-login"
        db = self.dbs.fresh("off")
        self.server.isql(db, f"create or alter user {user} password '{password}';\ncommit;\n")
        os.remove(db)
        self.results["login"] = {}
        try:
            for n in sizes:
                scripts = write_scripts(self.work, n)
                samples = {"builtin": [], "login": []}
                for _ in range(runs):
                    for kind in ("builtin", "login"):
                        if kind == "login":
                            with open(module_conf, "w") as out:
                                out.write(f"user = {user}\npassword = {password}\n")
                            os.chmod(module_conf, 0o600)
                        db = self.dbs.fresh("off", [(1, scripts[0])])
                        self.server.isql(db, f"grant all on t to {user};\ncommit;\n")
                        samples[kind].append(time_server("c", self.server, db, "id = 1", n))
                        os.remove(db)
                        if os.path.exists(module_conf):
                            os.remove(module_conf)
                for f in scripts:
                    os.remove(f)
                paired = [w[0] / o[0] for w, o in zip(samples["login"], samples["builtin"]) if o[0] > 0]
                self.results["login"][n] = {"builtin": summary(samples["builtin"]),
                                            "login": summary(samples["login"]),
                                            "ratio": statistics.median(paired)}
                c = self.results["login"][n]
                log(f"module login through loopback, N={n}: {c['login']['median'] * 1e3:.1f} ms against "
                    f"{c['builtin']['median'] * 1e3:.1f} ms built-in, ratio {c['ratio']:.2f}")
        finally:
            if os.path.exists(module_conf):
                os.remove(module_conf)

    def measure_memory(self, lines):
        """Peak memory of (b) without a report, of (b) with the JSON report
        (to /dev/null) and the run log on, where outcomes must stream rather
        than pile up, and of (a) for comparison."""
        script = os.path.join(self.work, "memory.sql")
        write_memory_script(script, lines)
        size = os.path.getsize(script)
        log_env = dict(embedded_env(), UDFTOLVANE_RUN_LOG_DIR=self.run_log)
        runs = (("b", exec_command(self.tools, "b"), None, "no report"),
                ("g", [self.tools["exec"], "--report", "json", "--database"], log_env,
                 "--report json to /dev/null and the run log on"),
                ("a", [self.tools["client"]], None, ""))
        for key, cmd, env, what in runs:
            if key not in self.paths:
                continue
            db = self.dbs.fresh("off")
            code, stdout, stderr, elapsed, peak = run_peak_rss(cmd + [db, script], env, discard_stdout=key == "g")
            os.remove(db)
            ok = code == 0 and (key != "b" or stdout.strip().splitlines()[-1:] == ["ok"])
            if not ok:
                raise BenchFailure(f"memory run of ({key}) failed: {stdout[-1000:]} {stderr[-1500:]}")
            if key == "g":
                check_run_log(self.run_log, lines)
            self.results["memory"][key] = {"script_bytes": size, "lines": lines,
                                          "peak_rss_bytes": peak, "seconds": elapsed, "what": what}
            log(f"memory ({key}): script {size / 1e6:.1f} MB, {lines} lines, peak RSS "
                f"{peak / 2**20:.1f} MiB in {elapsed:.1f} s")
        os.remove(script)

    def measure_instructions(self, n):
        """Instructions of the embedded paths under callgrind: unlike time,
        the count does not move with whatever else the machine is doing."""
        if not shutil.which("valgrind"):
            log("valgrind missing: no instruction counts")
            return
        plain, _ = write_scripts(self.work, n)
        empty = os.path.join(self.work, "empty.sql")
        open(empty, "w").close()
        # The run-log and run-mode paths too: their targets are a few per
        # cent, which timings on a busy machine cannot resolve. (g)'s writes
        # to its log are system calls, which callgrind does not count.
        commands = {"a": [self.tools["client"]], "b": exec_command(self.tools, "b"),
                    "g": exec_command(self.tools, "g"), "i": exec_command(self.tools, "i"),
                    "j": [self.tools["client"], "--one-transaction"], "k": exec_command(self.tools, "k"),
                    "l": exec_command(self.tools, "l")}
        counts = {}
        for key, cmd in commands.items():
            if key not in self.paths:
                continue
            env = dict(embedded_env(), UDFTOLVANE_RUN_LOG_DIR=self.run_log) if key == "g" else None
            for label, script, lines in (("empty", empty, 0), (n, plain, n)):
                db = self.dbs.fresh("off")
                out = os.path.join(self.work, f"callgrind-{key}-{label}.out")
                proc, _ = run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}"] + cmd + [db, script],
                              env=env, check=False)
                os.remove(db)
                if key == "g":
                    check_run_log(self.run_log, lines)
                match = re.search(r"Collected : (\d+)", proc.stderr)
                if proc.returncode != 0 or not match:
                    raise BenchFailure(f"callgrind run of ({key}) failed: {proc.stderr[-1500:]}")
                counts.setdefault(key, {})[str(label)] = int(match.group(1))
        self.results["instructions"] = {"n": n, "counts": counts}
        log("instructions: " + ", ".join(f"{k}={v}" for k, v in counts.items()))

    def measure_server_instructions(self, n):
        """Instructions the server spends on one isql call of (c) and of (d),
        under callgrind, counted between a zeroing and a dump of the counters
        (the server does not stop under valgrind): as steady as the embedded
        counts, and the only way to see the two inside the server apart from
        the machine's load. "-" is the same isql call without a function."""
        if not shutil.which("callgrind_control"):
            log("callgrind_control missing: no server instruction counts")
            return
        keys = [k for k in "-dc" if k == "-" or k in self.paths]
        out_pattern = os.path.join(self.work, "server-callgrind.%p")
        server = Server(self.build, self.work)
        server.start_own(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out_pattern}"], "callgrind-server")
        plain, _ = write_scripts(self.work, n)
        empty = os.path.join(self.work, "empty.sql")
        open(empty, "w").close()
        pid = server.own_proc.pid
        counts = {}
        try:
            for key in keys:  # the first call of each loads its module
                db = self.dbs.fresh("off", [(1, empty)])
                time_server(key, server, db, "id = 1", 0)
                os.remove(db)
            for key in keys:
                for label, script, rows in (("empty", empty, 0), (str(n), plain, n)):
                    if key == "-" and rows:
                        continue
                    db = self.dbs.fresh("off", [(1, script)])
                    run(["callgrind_control", "-z", str(pid)])
                    time_server(key, server, db, "id = 1", rows)
                    before = set(os.listdir(self.work))
                    run(["callgrind_control", "-d", f"{key.strip('-') or 'none'}-{label}", str(pid)])
                    for _ in range(300):  # the dump is written when a server thread next runs
                        dumps = [f for f in set(os.listdir(self.work)) - before if f.startswith("server-callgrind.")]
                        if dumps and "totals:" in open(os.path.join(self.work, dumps[0])).read():
                            break
                        time.sleep(0.1)
                    if len(dumps) != 1:
                        raise BenchFailure(f"no callgrind dump for ({key}) {label}")
                    text = open(os.path.join(self.work, dumps[0])).read()
                    match = re.search(r"^(?:summary|totals):\s*(\d+)", text, re.M)
                    counts.setdefault(key, {})[label] = int(match.group(1))
                    os.remove(os.path.join(self.work, dumps[0]))
                    os.remove(db)
        finally:
            server.own_proc.kill()  # SIGTERM does not end it under valgrind
            server.own_proc.wait()
        self.results["server_instructions"] = {"n": n, "counts": counts}
        log("server instructions: " + ", ".join(f"{k}={v}" for k, v in counts.items()))

    def probe_server(self, server, keys, engine="3"):
        """One call of each external function, so that a server that cannot
        load them fails here, loudly, before anything is timed."""
        db = self.dbs.fresh("off", [(1, os.devnull)], engine)
        try:
            for key in [k for k in keys if k in self.paths]:
                try:
                    time_server(key, server, db, "id = 1", 0)
                except BenchFailure as failure:
                    if ("not allowed by server configuration" in str(failure) and engine == "3"
                            and server.own_proc is None):
                        server.fallback_to_own("UdfAccess")
                        time_server(key, server, db, "id = 1", 0)
                    else:
                        raise
        finally:
            os.remove(db)

    def measure_split(self, rounds, size_mb, slice_statements):
        """The isql splitter on a generated script of size_mb MB, against a
        run of the same script by tolvane-exec --dialect isql. The run is
        timed on the script's first slice_statements statements, round by
        round with the splitting, and taken to the whole script in
        proportion to its pieces (the script repeats one pattern)."""
        script = os.path.join(self.work, "split.sql")
        part = os.path.join(self.work, "split-slice.sql")
        run([self.tools["split"], "--size-mb", str(size_mb), "--runs", "1", "--write", script,
             "--slice", str(slice_statements), part])
        pattern = re.compile(r"^split: (\d+) bytes, (\d+) pieces, best [0-9.]+ s, median ([0-9.]+) s", re.M)

        def split(file, runs):
            proc, _ = run([self.tools["split"], "--runs", str(runs), file])
            match = pattern.search(proc.stdout)
            if not match:
                raise BenchFailure(f"no split figures in:\n{proc.stdout[-1000:]}")
            return int(match.group(1)), int(match.group(2)), float(match.group(3))

        size, pieces, _ = split(script, 1)
        part_size, part_pieces, _ = split(part, 1)
        inserts = sum(1 for line in open(part) if line.startswith("INSERT INTO T (ID, NAME)"))
        split_samples, run_samples, ratios = [], [], []
        for r in range(rounds):
            _, _, split_s = split(script, 5)  # the median of 5 in-memory passes
            db = self.dbs.fresh("split")
            try:
                proc, run_s = run(exec_command(self.tools, "b", "--dialect", "isql") + [db, part], check=False)
                if proc.returncode != 0 or proc.stdout.strip().splitlines()[-1:] != ["ok"]:
                    raise BenchFailure(f"isql-dialect run failed (exit {proc.returncode}): {proc.stdout[-1500:]} "
                                       f"{proc.stderr[-1500:]}")
                check_count("split", count_rows(isql_embedded(db, "select count(*) as rows_in_t from t;")), inserts)
            finally:
                os.remove(db)
            whole_run_s = run_s * pieces / part_pieces
            split_samples.append(split_s)
            run_samples.append(run_s)
            ratios.append(split_s / whole_run_s)
            log(f"split {size / 1e6:.0f} MB: {split_s:.3f} s; run of {part_pieces} statements: {run_s:.2f} s "
                f"(whole script about {whole_run_s:.0f} s); ratio {ratios[-1]:.4f}")
        self.results["split"] = {
            "script_bytes": size, "pieces": pieces, "slice_bytes": part_size, "slice_pieces": part_pieces,
            "split_samples": split_samples, "run_samples": run_samples, "ratios": ratios,
            "split_median": statistics.median(split_samples), "run_median": statistics.median(run_samples),
            "ratio": statistics.median(ratios)}
        os.remove(script)
        os.remove(part)

    def measure_corpus(self, rounds):
        """Every script of the isql corpus run by isql-fb -i and by
        tolvane-exec --dialect isql --report none, each on a fresh empty
        database (forced writes off), whole processes; per round the two
        totals over the corpus, in alternating order."""
        scripts = sorted(f for f in os.listdir(CORPUS) if f.endswith(".sql"))
        env = embedded_env()
        cwd = os.path.join(self.work, "corpus")
        os.makedirs(cwd, exist_ok=True)

        def fresh(script):
            db = self.dbs.fresh("empty")
            for name in CORPUS_PREREQUISITES.get(script, []):
                run(["isql-fb", "-q", "-user", "SYSDBA", "-i", os.path.join(CORPUS, name), db], env=env)
            return db

        def one(side, script):
            db = fresh(script)
            try:
                if side == "isql":
                    command = (["isql-fb", "-q", "-user", "SYSDBA"] + CORPUS_ISQL_ARGS.get(script, [])
                               + ["-i", os.path.join(CORPUS, script), db])
                else:
                    command = [self.tools["exec"], "--report", "none", "--dialect", "isql", "--database", db,
                               os.path.join(CORPUS, script)]
                proc, elapsed = run(command, env=env, check=False)
                # Some scripts fail statements on purpose; only a crash or a
                # refusal of the run counts.
                if side == "exec" and proc.returncode not in (0, 1, 3):
                    raise BenchFailure(f"tolvane-exec on {script} (exit {proc.returncode}): {proc.stderr[-1500:]}")
                return elapsed
            finally:
                os.remove(db)
                for left in os.listdir(cwd):
                    os.remove(os.path.join(cwd, left))

        totals = {"isql": [], "exec": []}
        per_script = {script: {"isql": [], "exec": []} for script in scripts}
        ratios = []
        for r in range(rounds):
            sums = {"isql": 0.0, "exec": 0.0}
            for i, script in enumerate(scripts):
                for side in (("isql", "exec") if (r + i) % 2 == 0 else ("exec", "isql")):
                    elapsed = one(side, script)
                    sums[side] += elapsed
                    per_script[script][side].append(elapsed)
            for side in sums:
                totals[side].append(sums[side])
            ratios.append(sums["exec"] / sums["isql"])
            log(f"isql corpus, round {r + 1}/{rounds}: {len(scripts)} scripts, isql-fb {sums['isql']:.2f} s, "
                f"tolvane-exec {sums['exec']:.2f} s, ratio {ratios[-1]:.3f}")
        self.results["corpus"] = {
            "scripts": len(scripts), "rounds": rounds, "totals": totals, "ratios": ratios,
            "isql_median": statistics.median(totals["isql"]), "exec_median": statistics.median(totals["exec"]),
            "ratio": statistics.median(ratios),
            "per_script": {script: {side: statistics.median(v) for side, v in sides.items()}
                           for script, sides in per_script.items()}}

    def time_exec(self, db, where, options, expected_rows, calls):
        """One timed statement of TOLVANE_EXEC calls; seconds per call."""
        opts = "null" if options is None else f"'{options}'"
        out = self.server.isql(db, f"set stats on;\nselect tolvane_exec(script, '{db}', {opts}) as result "
                                   f"from scripts where {where};\nset stats off;\ncommit;\n"
                                   "select count(*) as rows_in_t from t;\n")
        match = ELAPSED.search(out)
        if not match:
            raise BenchFailure(f"no elapsed time from isql:\n{out[-2000:]}")
        oks = sum(1 for r in re.findall(r"^(\S.*?)\s*$", out.split("=====", 1)[-1], re.M) if r == "ok")
        if oks != calls:
            raise BenchFailure(f"TOLVANE_EXEC did not return ok {calls} time(s):\n{compact(out)[-2000:]}")
        check_count("once", count_rows(out), expected_rows)
        return float(match.group(1)) / calls

    # Apply once: (s) a call whose id is already applied against (t) an
    # empty script's call, both through TOLVANE_EXEC, `calls` a statement;
    # and a 10,000-line run with once= against the same run without, the
    # history table made beforehand in both, interleaved.
    def measure_once(self, runs, calls, n):
        for mode in ("off", "on"):
            self.server.isql(self.dbs.templates["3", mode], exec_function_declaration() + "\ncommit;\n")
        empty = os.path.join(self.work, "empty.sql")
        open(empty, "w").close()
        one_line = os.path.join(self.work, "one-line.sql")
        with open(one_line, "w") as out:
            out.write(insert_line(1) + "\n")
        samples = {"applied": [], "empty": []}
        for _ in range(runs):
            db = self.dbs.fresh("off", [(i, one_line) for i in range(1, calls + 1)])
            self.time_exec(db, "id = 1", "once=bench-applied", 1, 1)  # applies it, makes the table
            samples["applied"].append(self.time_exec(db, "id > 0", "once=bench-applied", 1, calls))
            os.remove(db)
            db = self.dbs.fresh("off", [(i, empty) for i in range(1, calls + 1)])
            samples["empty"].append(self.time_exec(db, "id > 0", None, 0, calls))
            os.remove(db)
        scripts = write_scripts(self.work, n)
        runs_n = {"plain": [], "once": []}
        for _ in range(runs):
            for kind in ("plain", "once"):
                db = self.dbs.fresh("off", [(1, scripts[0]), (2, empty)])
                self.time_exec(db, "id = 2", "once=bench-table", 0, 1)  # the history table, as in use
                runs_n[kind].append(self.time_exec(db, "id = 1", "once=bench-run" if kind == "once" else None,
                                                   n, 1))
                os.remove(db)
        for f in scripts:
            os.remove(f)
        paired = [o / p for o, p in zip(runs_n["once"], runs_n["plain"]) if p > 0]
        self.results["once"] = {
            "calls": calls, "n": n,
            "applied": summary([(w, 0.0) for w in samples["applied"]]),
            "empty": summary([(w, 0.0) for w in samples["empty"]]),
            "ratio_applied": statistics.median(samples["applied"]) / statistics.median(samples["empty"]),
            "plain": summary([(w, 0.0) for w in runs_n["plain"]]),
            "once": summary([(w, 0.0) for w in runs_n["once"]]),
            "ratio_run": statistics.median(paired)}
        o = self.results["once"]
        log(f"once: already applied {o['applied']['median'] * 1e3:.2f} ms against empty "
            f"{o['empty']['median'] * 1e3:.2f} ms ({o['ratio_applied']:.2f}); N={n} with once "
            f"{o['once']['median'] * 1e3:.0f} ms against {o['plain']['median'] * 1e3:.0f} ms ({o['ratio_run']:.3f})")

    def fleet_databases(self, count, source=None):
        """count copies of a database (the forced-writes-off template), each
        a target of the fleet through the server; the files."""
        folder = os.path.join(self.work, "fleet")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        paths = [os.path.join(folder, f"db{i:04d}.fdb") for i in range(1, count + 1)]
        for path in paths:
            shutil.copyfile(source or self.dbs.templates["3", "off"], path)
        targets = os.path.join(self.work, "fleet.targets")
        with open(targets, "w") as out:
            out.writelines(self.server.address(path) + "\n" for path in paths)
        return paths, targets

    def fleet_command(self, targets, jobs, *options):
        return [self.tools["exec"], "--no-config", "--targets", targets, "--jobs", str(jobs),
                "--report", "none", *options]

    @staticmethod
    def check_fleet(proc_out, code, count):
        summary_line = f"{count} databases: {count} ok, 0 failed, 0 broken off, 0 unreachable, 0 refused, " \
                       f"0 interrupted, 0 skipped; "
        if code != 0 or summary_line not in proc_out:
            raise BenchFailure(f"fleet of {count} exited {code}, expected every target ok:\n{proc_out[-2000:]}")

    # (u): the same fleet of server targets at several --jobs, each run on
    # fresh copies, the job counts interleaved round after round; and the
    # tool's peak memory over 100 and 1,000 targets, each target a short
    # call (the script already applied under its id), where a tool that
    # kept more than a summary row per target would show it.
    def measure_fleet(self, runs, count, lines, jobs_list, memory_counts):
        script = write_scripts(self.work, lines)
        os.remove(script[1])
        script = script[0]
        samples = {jobs: [] for jobs in jobs_list}
        server_samples = {jobs: [] for jobs in jobs_list}
        for _ in range(runs):
            for jobs in jobs_list:
                paths, targets = self.fleet_databases(count)
                server_before = self.server.cpu()
                proc, elapsed = run(self.fleet_command(targets, jobs, script), check=False)
                tool_cpu, server_cpu = last_cpu, self.server.cpu() - server_before
                self.check_fleet(proc.stdout, proc.returncode, count)
                for path in (paths[0], paths[-1]):
                    check_count("u", count_rows(self.server.isql(path, "select count(*) as rows_in_t from t;\n")),
                                lines)
                samples[jobs].append((elapsed, tool_cpu))
                server_samples[jobs].append(server_cpu)
                log(f"fleet of {count} x {lines} lines, --jobs {jobs}: {elapsed:.2f} s "
                    f"(CPU: tool {tool_cpu:.2f} s, server {server_cpu:.2f} s)")
        base = statistics.median(w for w, _ in samples[jobs_list[0]])
        self.results["fleet"] = {"count": count, "lines": lines, "jobs": {
            jobs: dict(summary(samples[jobs]), speedup=base / statistics.median(w for w, _ in samples[jobs]),
                       server_cpu=statistics.median(server_samples[jobs]))
            for jobs in jobs_list}}
        # Memory: the template with the script applied once under an id,
        # copied; every target then only finds the id applied.
        applied = os.path.join(self.work, "fleet-applied.fdb")
        shutil.copyfile(self.dbs.templates["3", "off"], applied)
        proc, _ = run([self.tools["exec"], "--no-config", "--once", "bench-fleet", "--database",
                       self.server.address(applied), script], check=False)
        if proc.returncode != 0:
            raise BenchFailure(f"applying the memory fleet's script failed:\n{proc.stdout[-1000:]}{proc.stderr[-1000:]}")
        memory = {}
        for report in ("none", "json"):
            for n in memory_counts:
                paths, targets = self.fleet_databases(n, applied)
                cmd = self.fleet_command(targets, 2, "--once", "bench-fleet", script)
                cmd[cmd.index("--report") + 1] = report
                code, stdout, stderr, elapsed, peak = run_peak_rss(cmd, discard_stdout=report == "json")
                if report == "none":
                    self.check_fleet(stdout, code, n)
                elif code != 0:
                    raise BenchFailure(f"fleet of {n} with --report json exited {code}:\n{stderr[-2000:]}")
                memory.setdefault(report, {})[n] = {"peak_rss_bytes": peak, "seconds": elapsed}
                log(f"fleet memory, {n} targets, --report {report}: peak RSS {peak / 2**20:.1f} MiB "
                    f"in {elapsed:.1f} s")
        shutil.rmtree(os.path.join(self.work, "fleet"), ignore_errors=True)
        os.remove(applied)
        os.remove(script)
        self.results["fleet"]["memory"] = memory

    def execute(self):
        a = self.args
        started = time.time()
        try:
            for major, tree in self.trees.items():
                if any(TREE_PATHS.get(k) == major for k in self.paths):
                    tree.start()
                    log(f"server: {tree.kind}")
                    self.results[f"server{major}"] = tree.kind
            self.dbs.make_templates([tree for tree in self.trees.values() if tree.values])
            if any(k in self.paths for k in "cder"):
                self.server.start()
                log(f"server: {self.server.kind}")
                if "r" in self.paths:
                    self.dbs.declare_procedure(self.server)
                self.probe_server(self.server, "dcr")
            for major, tree in self.trees.items():
                if tree.values:
                    self.probe_server(tree, [k for k, m in TREE_PATHS.items() if m == major], major)
            if "h" in self.paths and any((fw, n) in a.extra.get("h", ()) for fw, n, _ in a.plan):
                self.log_server.start()
                log(f"server with the run log on: {self.log_server.kind}")
                self.probe_server(self.log_server, "h")
            self.results["server"] = self.server.kind
            if a.config_only:
                self.measure_config_cost(a.empty_runs, a.empty_calls)
                return self.results
            if a.login_only:
                self.measure_module_login(a.login_runs, (1, 1000))
                return self.results
            if a.once_only:
                self.measure_once(a.once_runs, 20, 10000)
                return self.results
            if a.fleet_only:
                self.measure_fleet(a.fleet_runs, 200, 100, (1, 2, 4, 8), (100, 1000))
                return self.results
            if a.empty_runs > 0:
                self.measure_empty(a.empty_runs, a.empty_calls)
                if "c" in self.paths and os.access(self.tools["config"], os.X_OK):
                    self.measure_config_cost(a.empty_runs, a.empty_calls)
                if "c" in self.paths:
                    self.measure_module_login(a.empty_runs, (1, 1000))
            for fw, n, runs in a.plan:
                keys, runs = self.fit_budget(fw, n, self.keys_for(fw, n), runs)
                if runs > 0:
                    self.measure(fw, n, keys, runs)
            if a.split_rounds > 0:
                self.measure_split(a.split_rounds, a.split_mb, a.split_slice)
            if a.corpus_rounds > 0:
                self.measure_corpus(a.corpus_rounds)
            if a.memory_lines > 0:
                self.measure_memory(a.memory_lines)
            if a.instructions_n > 0:
                self.measure_instructions(a.instructions_n)
                if "c" in self.paths and "d" in self.paths:
                    self.measure_server_instructions(a.instructions_n)
        finally:
            self.server.stop()
            for tree in self.trees.values():
                tree.stop()
            self.log_server.stop()
        self.results["seconds"] = time.time() - started
        return self.results

    def cleanup(self):
        shutil.rmtree(self.work, ignore_errors=True)


# ------------------------------------------------------------- reporting

def per_line_us(results, key, fw, n, field="median"):
    """What one more line costs: (T(N) - T(1)) / (N - 1). The one-line
    script carries the fixed cost: attachment, and the first statement's
    loading of the table's metadata, which an empty script never pays."""
    cases = results["cases"].get(key, {}).get(fw, {})
    case, one = cases.get(n), cases.get(1)
    if case is None or n <= 1:
        return None
    if one is None:  # older results: the empty script is the fixed cost
        if key not in results["empty"]:
            return None  # a path run at one N only
        return (case[field] - results["empty"].get(key, {}).get(field, 0.0)) / n * 1e6
    return (case[field] - one[field]) / (n - 1) * 1e6


def per_line_cpu_us(results, key, fw, n):
    return per_line_us(results, key, fw, n, "cpu_median")


def flat_spread(results, key):
    values = [per_line_us(results, key, "off", n) for n in (1000, 10000, 100000)]
    if any(v is None for v in values):
        return None
    mean = sum(values) / len(values)
    return max(abs(v - mean) / mean for v in values) * 100


def ratio(results, top, bottom, fw, n, field="samples"):
    """The median of the per-run ratios: run i of both paths ran back to back,
    so a slow spell of the machine hits both sides of a ratio alike."""
    x = results["cases"].get(top, {}).get(fw, {}).get(n)
    y = results["cases"].get(bottom, {}).get(fw, {}).get(n)
    if x is None or y is None:
        return None
    pairs = [a / b for a, b in zip(x[field], y[field]) if b > 0]
    return statistics.median(pairs) if pairs else None


def targets(results):
    """(name, value text, PASS/MISS/n.a.)"""
    rows = []

    def judge(name, value, ok, fmt="{:.3f}"):
        if value is None:
            rows.append((name, "not measured", "n.a."))
        else:
            rows.append((name, fmt.format(value), "PASS" if ok(value) else "MISS"))

    for fw, ns, limit in (("off", (10000, 100000), 1.10), ("on", (10000,), 1.05)):
        for n in ns:
            for top, bottom in (("b", "a"), ("c", "d"), ("m", "n"), ("o", "p")):
                judge(f"({top})/({bottom}), forced writes {fw}, N={n:,} <= {limit:.2f}",
                      ratio(results, top, bottom, fw, n), lambda v, l=limit: v <= l)
    for fw in ("off", "on"):
        judge(f"(e)/(c), forced writes {fw}, N=1,000 >= 20", ratio(results, "e", "c", fw, 1000),
              lambda v: v >= 20, "{:.1f}")
    for fw in ("off", "on"):
        for n in (1000, 10000, 100000):
            c, f = per_line_us(results, "c", fw, n), per_line_us(results, "f", fw, n)
            if c is not None and f is not None:
                judge(f"(c) ahead of (f), us/line, forced writes {fw}, N={n:,} (c/f < 1)", c / f, lambda v: v < 1)
    for key in ("b", "c"):
        judge(f"({key}) us/line flat, forced writes off, N=1,000..100,000, within +-10% of mean",
              flat_spread(results, key), lambda v: v <= 10, "+-{:.1f}%")
    ec, ed = results["empty"].get("c"), results["empty"].get("d")
    paired = [x / y for x, y in zip(ec["samples"], ed["samples"]) if y > 0] if ec and ed else []
    judge("empty-script call (c)/(d) <= 1.2", statistics.median(paired) if paired else None,
          lambda v: v <= 1.2, "{:.2f}")
    conf = results.get("config")
    judge("reading udftolvane.conf / empty-script call (c) <= 2%",
          conf["read_us"] / (conf["without"]["median"] * 1e6) * 100 if conf else None,
          lambda v: v <= 2, "{:.2f}%")
    mem = results["memory"].get("b")
    judge("peak RSS of (b) / script size <= 3", mem["peak_rss_bytes"] / mem["script_bytes"] if mem else None,
          lambda v: v <= 3, "{:.2f}")
    judge("run log on / off, (g)/(b), forced writes off, N=100,000 <= 1.05",
          ratio(results, "g", "b", "off", 100000), lambda v: v <= 1.05)
    judge("run log on / off in the server, (h)/(c), forced writes off, N=100,000 <= 1.05",
          ratio(results, "h", "c", "off", 100000), lambda v: v <= 1.05)
    for n in (10000, 100000):
        judge(f"TOLVANE_RUN on the caller's attachment / EXECUTA_SQL, (r)/(c), forced writes off, N={n:,} <= 1.05",
              ratio(results, "r", "c", "off", n), lambda v: v <= 1.05)
    mem_g = results["memory"].get("g")
    judge("peak RSS, report and run log on / off, (g)/(b), 1,000,000 lines <= 1.5",
          mem_g["peak_rss_bytes"] / mem["peak_rss_bytes"] if mem and mem_g else None, lambda v: v <= 1.5, "{:.2f}")
    split = results.get("split")
    judge("isql splitting of 100 MB / a run of it, forced writes off < 0.01",
          split["ratio"] if split else None, lambda v: v < 0.01, "{:.4f}")
    corpus = results.get("corpus")
    judge("isql corpus, tolvane-exec --dialect isql / isql-fb -i <= 1.05",
          corpus["ratio"] if corpus else None, lambda v: v <= 1.05)
    judge("batch faster than continue, (b)/(i), forced writes on, N=10,000 >= 10",
          ratio(results, "b", "i", "on", 10000), lambda v: v >= 10, "{:.1f}")
    for fw in ("on", "off"):
        judge(f"batch / client loop in one transaction, (i)/(j), forced writes {fw}, N=10,000 <= 1.15",
              ratio(results, "i", "j", fw, 10000), lambda v: v <= 1.15)
    for fw in ("on", "off"):
        judge(f"bail / continue, (k)/(b), forced writes {fw}, N=10,000 <= 1.05",
              ratio(results, "k", "b", fw, 10000), lambda v: v <= 1.05)
        judge(f"atomic / batch, (l)/(i), forced writes {fw}, N=10,000 <= 1.05",
              ratio(results, "l", "i", fw, 10000), lambda v: v <= 1.05)
    return rows


def fmt_ms(case):
    return f"{case['median'] * 1e3:.1f} ({case['min'] * 1e3:.1f}..{case['max'] * 1e3:.1f})"


def report_text(results, meta, judge=True):
    out = []
    out.append(f"Machine: {meta['machine']}")
    out.append(f"Versions: {meta['versions']}")
    out.append(f"Server for (c)/(d)/(e): {results.get('server')}")
    for major, keys in (("5", "(m)/(n)"), ("4", "(o)/(p)")):
        if results.get(f"server{major}"):
            out.append(f"Server for {keys}: {results[f'server{major}']}")
    out.append(f"Date: {meta['date']}; total bench time {results['seconds']:.0f} s")
    out.append("")
    out.append("Whole time in ms: median (min..max) over the runs. us/line: (median(N) - median(1)) / (N - 1),")
    out.append("the one-line script carrying the fixed cost. Ratio: median over the rounds of the path's time")
    out.append("over its anchor's time in the same round (the paths run interleaved, round by round, each on")
    out.append("a fresh database). CPU ratio: the same with CPU seconds (embedded: the process; server: the")
    out.append("server process over the whole isql call, 10 ms ticks).")
    out.append("")
    out.append("| forced writes | N | path | runs | ms median (min..max) | us/line | ratio | CPU ratio |")
    out.append("|---|---:|---|---:|---|---:|---|---|")
    anchors = ANCHORS
    for fw in ("off", "on"):
        for n in sorted({n for k in results["cases"] for n in results["cases"][k].get(fw, {})}):
            for key in PATH_NAMES:
                case = results["cases"].get(key, {}).get(fw, {}).get(n)
                if case is None:
                    continue
                anchor = anchors[key]
                r = ratio(results, key, anchor, fw, n) if anchor else None
                rc = ratio(results, key, anchor, fw, n, "cpu_samples") if anchor else None
                digits = 1 if key == "e" else 3
                rtext = "anchor" if anchor is None else f"{r:.{digits}f} x ({anchor})" if r is not None else "-"
                ctext = f"{rc:.{digits}f}" if rc is not None else "-"
                per_line = per_line_us(results, key, fw, n)
                out.append(f"| {fw} | {n:,} | ({key}) {PATH_NAMES[key]} | {case['runs']} | {fmt_ms(case)} | "
                           f"{'-' if per_line is None else f'{per_line:.1f}'} | {rtext} | {ctext} |")
    out.append("")
    out.append("Microseconds per line, wall (CPU), as above; spread = largest distance from the")
    out.append("mean of the three N, forced writes off. The anchors' own spread shows what the platform does.")
    out.append("")
    out.append("| path | N=1,000 | N=10,000 | N=100,000 | spread |")
    out.append("|---|---:|---:|---:|---:|")
    for key in PATH_NAMES:
        cells = []
        for n in (1000, 10000, 100000):
            wall, cpu = per_line_us(results, key, "off", n), per_line_cpu_us(results, key, "off", n)
            cells.append(f"{wall:.1f} ({cpu:.1f})" if wall is not None else "-")
        spread = flat_spread(results, key)
        if any(c != "-" for c in cells):
            out.append(f"| ({key}) | " + " | ".join(cells) + f" | {'+-%.1f%%' % spread if spread is not None else '-'} |")
    out.append("")
    out.append("Fixed cost of one call with an empty script (forced writes off), ms median (min..max):")
    out.append("")
    for key, case in results["empty"].items():
        out.append(f"- ({key}) {PATH_NAMES[key]}: {fmt_ms(case)}, {case['runs']} runs")
    for key, mem in results["memory"].items():
        what = f", {mem['what']}" if mem.get("what") else ""
        who = "(b)" if key == "g" else f"({key})"
        out.append(f"- peak RSS of {who}{what}, for a {mem['script_bytes'] / 1e6:.0f} MB script of {mem['lines']:,} "
                   f"no-op UPDATE lines: {mem['peak_rss_bytes'] / 2**20:.1f} MiB "
                   f"({mem['peak_rss_bytes'] / mem['script_bytes']:.2f} x the script), {mem['seconds']:.1f} s")
    conf = results.get("config")
    if conf:
        out.append(f"- reading udftolvane.conf (every kind of setting): {conf['read_us']:.1f} us a call, in-process "
                   f"(no file: {conf['none_us']:.1f} us); (c) with the file beside the module "
                   f"{fmt_ms(conf['with'])} ms, without {fmt_ms(conf['without'])} ms, "
                   f"{conf['calls']} calls a statement, ratio {conf['ratio']:.3f}")
    for n, login in results.get("login", {}).items():
        out.append(f"- (q) (c) with a module login of its own (not SYSDBA), attached through the server's "
                   f"port, N={n}, forced writes off: {fmt_ms(login['login'])} ms, against (c) with the "
                   f"built-in login by plain path {fmt_ms(login['builtin'])} ms, ratio {login['ratio']:.2f}")
    split = results.get("split")
    if split:
        whole = split["run_median"] * split["pieces"] / split["slice_pieces"]
        out.append(f"- isql splitting: a generated script of {split['script_bytes'] / 1e6:.0f} MB, "
                   f"{split['pieces']:,} pieces, split in memory in {split['split_median']:.3f} s "
                   f"({split['script_bytes'] / 1e6 / split['split_median']:.0f} MB/s), median of "
                   f"{len(split['split_samples'])} rounds; tolvane-exec --dialect isql --report none ran its first "
                   f"{split['slice_pieces']:,} pieces ({split['slice_bytes'] / 1e6:.1f} MB), forced writes off, in "
                   f"{split['run_median']:.2f} s ({min(split['run_samples']):.2f}..{max(split['run_samples']):.2f}), "
                   f"so the whole script in about {whole:.0f} s (in proportion to the pieces; not run whole); "
                   f"split / run {split['ratio']:.4f} (median over the rounds)")
    corpus = results.get("corpus")
    if corpus:
        out.append(f"- isql corpus: the {corpus['scripts']} scripts of tests/e2e/isql_corpus, each on a fresh empty "
                   f"database, forced writes off, whole processes: tolvane-exec --dialect isql --report none "
                   f"{corpus['exec_median']:.2f} s, isql-fb -i {corpus['isql_median']:.2f} s (medians of "
                   f"{corpus['rounds']} rounds of the whole corpus); tolvane-exec / isql-fb {corpus['ratio']:.3f} "
                   f"(median over the rounds, {min(corpus['ratios']):.3f}..{max(corpus['ratios']):.3f})")
    for fw in ("off", "on"):
        speedup = ratio(results, "b", "i", fw, 10000)
        if speedup is not None:
            out.append(f"- continue / batch, (b)/(i), forced writes {fw}, N=10,000: batch {speedup:.1f} x faster")
    for note in results.get("skipped", []):
        out.append(f"- {note}")
    if any("on" in modes for modes in results["cases"].values()):
        out.append("- forced writes on, N=100,000: not run; at this machine's flush rate it takes minutes per run")
    inst = results.get("instructions")
    if inst and "a" in inst["counts"] and "b" in inst["counts"]:
        n = inst["n"]
        a, b = inst["counts"]["a"], inst["counts"]["b"]
        per_a = (a[str(n)] - a["empty"]) / n
        per_b = (b[str(n)] - b["empty"]) / n
        out.append(f"- instructions (callgrind, forced writes off, N={n:,}): (a) {a[str(n)] / 1e6:.1f} M, "
                   f"(b) {b[str(n)] / 1e6:.1f} M, ratio {b[str(n)] / a[str(n)]:.3f}; per line (a) {per_a / 1e3:.1f} k, "
                   f"(b) {per_b / 1e3:.1f} k, ratio {per_b / per_a:.3f}; empty script (a) {a['empty'] / 1e6:.1f} M, "
                   f"(b) {b['empty'] / 1e6:.1f} M")
    if inst:
        n = inst["n"]
        for top, bottom, what in (("g", "b", "run log on / off (user space only)"), ("k", "b", "bail / continue"),
                                  ("i", "j", "batch / client loop in one transaction"), ("l", "i", "atomic / batch")):
            x, y = inst["counts"].get(top), inst["counts"].get(bottom)
            if x and y:
                per_x, per_y = (x[str(n)] - x["empty"]) / n, (y[str(n)] - y["empty"]) / n
                out.append(f"- instructions, {what}, ({top})/({bottom}), N={n:,}: whole {x[str(n)] / 1e6:.1f} M / "
                           f"{y[str(n)] / 1e6:.1f} M = {x[str(n)] / y[str(n)]:.3f}; per line {per_x / 1e3:.1f} k / "
                           f"{per_y / 1e3:.1f} k = {per_x / per_y:.3f}")
    sinst = results.get("server_instructions")
    if sinst and {"-", "c", "d"} <= set(sinst["counts"]):
        n = sinst["n"]
        base = sinst["counts"]["-"]["empty"]
        c, d = sinst["counts"]["c"], sinst["counts"]["d"]
        fixed_c, fixed_d = c["empty"] - base, d["empty"] - base
        whole_c, whole_d = c[str(n)] - base, d[str(n)] - base
        per_c, per_d = (c[str(n)] - c["empty"]) / n, (d[str(n)] - d["empty"]) / n
        out.append(f"- server instructions (callgrind, forced writes off, the call alone): N={n:,}: (c) "
                   f"{whole_c / 1e6:.1f} M, (d) {whole_d / 1e6:.1f} M, ratio {whole_c / whole_d:.3f}; per line (c) "
                   f"{per_c / 1e3:.1f} k, (d) {per_d / 1e3:.1f} k, ratio {per_c / per_d:.3f}; empty script (c) "
                   f"{fixed_c / 1e6:.2f} M, (d) {fixed_d / 1e6:.2f} M, ratio {fixed_c / fixed_d:.2f}")
    if not judge:
        return "\n".join(out) + "\n"
    out.append("")
    out.append("| target | value | result |")
    out.append("|---|---|---|")
    for name, value, verdict in targets(results):
        out.append(f"| {name} | {value} | {verdict} |")
    return "\n".join(out) + "\n"


def write_plot(results, folder):
    data = os.path.join(folder, "latest.dat")
    blocks = []
    titles = []
    for fw in ("off", "on"):
        for key in PATH_NAMES:
            points = [(n, per_line_us(results, key, fw, n))
                      for n in sorted(results["cases"].get(key, {}).get(fw, {})) if n > 1]
            points = [(n, v) for n, v in points if v is not None]
            if not points:
                continue
            blocks.append("\n".join(f"{n} {v:.3f}" for n, v in points))
            titles.append((f"({key}) forced writes {fw}", fw, list(PATH_NAMES).index(key) + 1))
    if not blocks:
        return None
    with open(data, "w") as out:
        out.write("\n\n\n".join(blocks) + "\n")
    png = os.path.join(folder, "latest.png")
    plots = []
    for index, (title, fw, colour) in enumerate(titles):
        dash = 1 if fw == "off" else 2
        plots.append(f"'{data}' index {index} using 1:2 with linespoints dt {dash} lc {colour} pt {colour} "
                     f"lw 2 title '{title}'")
    gp = (f"set terminal pngcairo size 1000,650 noenhanced\nset output '{png}'\n"
          "set logscale xy\nset xlabel 'lines in the script (N)'\nset ylabel 'microseconds per line'\n"
          "set title 'Script of N single-line INSERTs, each committed: (T(N) - T(1)) / (N - 1)'\n"
          "set key outside right\nset grid\nset xtics (1000, 10000, 100000)\nset xrange [700:140000]\n"
          "plot " + ", \\\n  ".join(plots) + "\n")
    try:
        subprocess.run(["gnuplot"], input=gp, text=True, check=True, capture_output=True)
    except (OSError, subprocess.CalledProcessError) as failure:
        log(f"no plot: {failure}")
        return None
    return png


def machine_meta(build):
    cpu = "unknown CPU"
    for line in open("/proc/cpuinfo"):
        if line.startswith("model name"):
            cpu = line.split(":", 1)[1].strip()
            break
    mem = int(open("/proc/meminfo").readline().split()[1]) // 1024 // 1024
    os_name = "Linux"
    if os.path.exists("/etc/os-release"):
        values = dict(l.strip().split("=", 1) for l in open("/etc/os-release") if "=" in l)
        os_name = values.get("PRETTY_NAME", "Linux").strip('"')
    fb = subprocess.run(["isql-fb", "-z", "-q"], input="", capture_output=True, text=True).stdout.strip()
    gxx = subprocess.run(["g++", "--version"], capture_output=True, text=True).stdout.splitlines()[0]
    build_type = "?"
    cache = os.path.join(build, "CMakeCache.txt")
    if os.path.exists(cache):
        for line in open(cache):
            if line.startswith("CMAKE_BUILD_TYPE:"):
                build_type = line.split("=", 1)[1].strip() or "RelWithDebInfo (project default)"
    commit = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"], capture_output=True,
                            text=True).stdout.strip()
    # What was built is what the tree held when the run began.
    changed = subprocess.run(["git", "-C", ROOT, "status", "--porcelain", "--", "fbdrv", "connection",
                              "script_runner", "runtime", "driver", "tools", "bench"],
                             capture_output=True, text=True).stdout.strip()
    if changed:
        commit += " with uncommitted changes"
    disk = subprocess.run(["df", "-T", tempfile.gettempdir()], capture_output=True, text=True).stdout.splitlines()[-1].split()[1]
    return {
        "machine": f"{cpu}, {os.cpu_count()} cores, {mem} GiB, {os_name}, kernel {platform.release()}; "
                   f"databases on {disk}",
        "versions": f"{fb.splitlines()[0] if fb else 'isql-fb ?'}; {gxx}; build type {build_type}; commit {commit}",
        "date": datetime.datetime.now().strftime("%Y-%m-%d %H:%M") + " (start)",
    }


def parse_args():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--smoke", action="store_true", help="a few tens of seconds; checks every path works")
    parser.add_argument("--paths", default=None,
                        help="the paths to run, as letters (default: all but mn, which the full run adds "
                             "where the Firebird 5 tarball is)")
    parser.add_argument("--runs", type=int, default=9, help="runs with forced writes off, N <= 10,000")
    parser.add_argument("--on-runs", type=int, default=5, help="runs with forced writes on")
    parser.add_argument("--big-runs", type=int, default=5, help="runs for N = 100,000")
    parser.add_argument("--slow-runs", type=int, default=3, help="runs for (e)")
    parser.add_argument("--results", default=os.path.join(ROOT, "bench", "results"))
    parser.add_argument("--work-root", default="/var/tmp")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    parser.add_argument("--slow-budget", type=float, default=360,
                        help="seconds for the larger forced-writes-on case")
    parser.add_argument("--quick", action="store_true", help="small full-shaped run, results to the work folder")
    parser.add_argument("--config-only", action="store_true",
                        help="only what reading udftolvane.conf costs (c)'s empty call; prints, writes nothing")
    parser.add_argument("--login-only", action="store_true",
                        help="only (q), a module login through the server's port against (c); "
                             "results to bench/results/module-login.md")
    parser.add_argument("--login-runs", type=int, default=5, help="runs of (q) with --login-only")
    parser.add_argument("--once-only", action="store_true",
                        help="only apply once: an already-applied call against an empty script's call, and "
                             "a 10,000-line run with once= against the same without; results to "
                             "bench/results/once.md")
    parser.add_argument("--once-runs", type=int, default=5, help="interleaved rounds with --once-only")
    parser.add_argument("--fleet-only", action="store_true",
                        help="only (u), tolvane-exec over 200 server databases at --jobs 1, 2, 4, 8, and its "
                             "peak memory at 100 and 1,000 targets; results to bench/results/fleet.md")
    parser.add_argument("--fleet-runs", type=int, default=2, help="interleaved rounds with --fleet-only")
    parser.add_argument("--corpus-rounds", type=int, default=None,
                        help="rounds of the isql corpus (tolvane-exec --dialect isql against isql-fb -i)")
    parser.add_argument("--isql-only", action="store_true",
                        help="the isql dialect's rows only: the splitter and the corpus; results to "
                             "bench/results/partial/isql-latest.*, the README left alone")
    parser.add_argument("--partial", action="store_true",
                        help="the run-log, run-mode, splitter and report-memory rows and their anchors only; "
                             "results to bench/results/partial, the README left alone")
    args = parser.parse_args()
    args.full = not (args.quick or args.smoke or args.partial or args.isql_only)
    if args.paths is None:
        if args.config_only or args.login_only or args.once_only or args.fleet_only:
            args.paths = "c"
        elif args.partial:
            args.paths = "bcghijklr"
        else:
            args.paths = "".join(k for k in PATH_NAMES if k not in TREE_PATHS) + "".join(
                k for k, major in TREE_PATHS.items() if args.full and os.path.isfile(tree_tarball(major)))
    # args.extra: the cases (forced writes, N) at which (g) to (l) run.
    if args.quick:
        args.plan = [("off", 1, 2), ("off", 1000, 2), ("off", 10000, 2), ("on", 1, 2), ("on", 1000, 2)]
        args.empty_runs, args.empty_calls, args.memory_lines = 2, 5, 50000
        args.extra = {k: {("off", 10000), ("on", 1000)} for k in "ghijklr"}
        args.split_rounds, args.split_mb, args.split_slice = 2, 20, 20000
        args.instructions_n = 0
        args.results = os.path.join(args.work_root, "tolvane-bench-quick")
    elif args.smoke:
        args.plan = [("off", 1, 1), ("off", 200, 1)]
        args.empty_runs, args.empty_calls, args.memory_lines = 1, 3, 10000
        args.extra = {k: {("off", 200)} for k in "ghijklr"}
        args.split_rounds, args.split_mb, args.split_slice = 1, 1, 200
        args.instructions_n = 0
    else:
        args.plan = [("off", 1, args.runs), ("off", 1000, args.runs), ("off", 10000, args.runs),
                     ("off", 100000, args.big_runs), ("on", 1, args.on_runs), ("on", 1000, args.on_runs),
                     ("on", 10000, args.on_runs)]
        args.empty_runs, args.empty_calls, args.memory_lines = args.runs, 20, 1000000
        # The run log at the size its target names; the modes where a data
        # script's commits are what they change.
        args.extra = {"g": {("off", 100000)}, "h": {("off", 100000)},
                      "r": {("off", 10000), ("off", 100000)}}
        args.extra.update({k: {("off", 10000), ("on", 10000)} for k in "ijkl"})
        args.split_rounds, args.split_mb, args.split_slice = 5, 100, 100000
        args.instructions_n = 2000
    if args.partial:
        args.plan = [("off", 10000, args.runs), ("off", 100000, args.big_runs), ("on", 10000, args.on_runs)]
        args.empty_runs = 0
        if args.results == parser.get_default("results"):
            args.results = os.path.join(args.results, "partial")
    if args.isql_only:
        args.paths, args.plan, args.extra = "", [], {}
        args.empty_runs, args.memory_lines, args.instructions_n = 0, 0, 0
        if args.results in (parser.get_default("results"), os.path.join(parser.get_default("results"), "partial")):
            args.results = os.path.join(parser.get_default("results"), "partial")
        args.stem = "isql-latest"
    else:
        args.stem = "latest"
    if args.corpus_rounds is None:
        args.corpus_rounds = 2 if args.quick else 1 if args.smoke else 5
    return args


def main():
    args = parse_args()
    if not args.smoke and os.geteuid() == 0:
        # Other work on the machine gets less of the CPU than the paths
        # under test; the server started below inherits this.
        os.setpriority(os.PRIO_PROCESS, 0, -10)
    try:
        bench = Bench(args)
        meta = machine_meta(bench.build)
    except BenchFailure as failure:
        print(f"BENCH FAILED: {failure}", file=sys.stderr)
        return 1
    try:
        results = bench.execute()
    except BenchFailure as failure:
        print(f"BENCH FAILED: {failure}", file=sys.stderr)
        log(f"work folder kept: {bench.work}")
        return 1
    if not args.keep:
        bench.cleanup()
    if args.config_only:
        conf = results["config"]
        print(f"Machine: {meta['machine']}\nVersions: {meta['versions']}\nServer for (c): {results.get('server')}")
        print(f"reading udftolvane.conf: {conf['read_us']:.1f} us a call (no file: {conf['none_us']:.1f} us); "
              f"(c) empty call without {fmt_ms(conf['without'])} ms, with {fmt_ms(conf['with'])} ms "
              f"({conf['calls']} calls a statement, {len(conf['without']['samples'])} rounds), "
              f"ratio {conf['ratio']:.3f}; read / call = "
              f"{conf['read_us'] / (conf['without']['median'] * 1e6) * 100:.2f}% (target <= 2%)")
        return 0
    if args.login_only:
        lines = [f"Machine: {meta['machine']}", f"Versions: {meta['versions']}",
                 f"Server for (c): {results.get('server')}", ""]
        for n, login in results["login"].items():
            lines.append(f"- (q) module login of its own through the server's port, N={n}, forced writes off: "
                         f"{fmt_ms(login['login'])} ms; (c) built-in login by plain path "
                         f"{fmt_ms(login['builtin'])} ms; ratio (q)/(c) {login['ratio']:.2f} "
                         f"(median of {len(login['login']['samples'])} interleaved rounds)")
        text = "\n".join(lines) + "\n"
        print(text)
        os.makedirs(args.results, exist_ok=True)
        with open(os.path.join(args.results, "module-login.md"), "w") as out:
            out.write(text)
        return 0
    if args.once_only:
        o = results["once"]
        lines = [f"Machine: {meta['machine']}", f"Versions: {meta['versions']}",
                 f"Server: {results.get('server')}", "",
                 f"- (s) TOLVANE_EXEC under an id already applied, {o['calls']} calls a statement: "
                 f"{fmt_ms(o['applied'])} ms a call; (t) TOLVANE_EXEC of an empty script: "
                 f"{fmt_ms(o['empty'])} ms a call; ratio (s)/(t) {o['ratio_applied']:.2f} (target <= 1.5; "
                 f"medians of {len(o['applied']['samples'])} interleaved rounds)",
                 f"- N={o['n']} lines, forced writes off, through TOLVANE_EXEC: with once= "
                 f"{fmt_ms(o['once'])} ms; without {fmt_ms(o['plain'])} ms; ratio {o['ratio_run']:.3f} "
                 f"(target <= 1.02; median of {len(o['once']['samples'])} paired rounds)"]
        text = "\n".join(lines) + "\n"
        print(text)
        os.makedirs(args.results, exist_ok=True)
        with open(os.path.join(args.results, "once.md"), "w") as out:
            out.write(text)
        return 0
    if args.fleet_only:
        text = fleet_text(results, meta)
        print(text)
        os.makedirs(args.results, exist_ok=True)
        with open(os.path.join(args.results, "fleet.md"), "w") as out:
            out.write(text)
        return 0
    text = report_text(results, meta, judge=not args.smoke)
    print(text)
    if args.smoke:
        print("smoke: every path ran and gave the expected rows; targets are judged by the full run only")
        return 0
    os.makedirs(args.results, exist_ok=True)
    with open(os.path.join(args.results, f"{args.stem}.md"), "w") as out:
        out.write(text)
    with open(os.path.join(args.results, f"{args.stem}.json"), "w") as out:
        json.dump({"meta": meta, "results": results}, out, indent=1, default=str)
    png = write_plot(results, args.results)
    if png:
        log(f"plot: {png}")
    # Only the results kept in the repository go into its README.
    if args.full and os.path.abspath(args.results) == os.path.join(ROOT, "bench", "results"):
        update_readme(text)
    return 0


def fleet_text(results, meta):
    f = results["fleet"]
    lines = [f"Machine: {meta['machine']}", f"Versions: {meta['versions']}", f"Date: {meta['date']}",
             f"Server: {results.get('server')}", "",
             f"(u) tolvane-exec --targets FILE --report none over {f['count']} databases of the private "
             f"Firebird 3 server (host/port:path), a {f['lines']}-line script of single-line INSERTs each, "
             "every line committed, forced writes off; fresh copies for every run; median (min..max) of "
             f"{next(iter(f['jobs'].values()))['runs']} interleaved rounds; speed-up = wall time at --jobs 1 / "
             "wall time, both from this run.", "",
             "| --jobs | wall s | speed-up against --jobs 1 | CPU s: tool | CPU s: server | CPU floor s |",
             "|---|---|---|---|---|---|"]
    stops = None
    previous = None
    for jobs, case in f["jobs"].items():
        lines.append(f"| {jobs} | {case['median']:.2f} ({case['min']:.2f}..{case['max']:.2f}) | "
                     f"{case['speedup']:.2f} | {case['cpu_median']:.2f} | {case['server_cpu']:.2f} | "
                     f"{(case['cpu_median'] + case['server_cpu']) / os.cpu_count():.2f} |")
        if previous is not None and stops is None and case["speedup"] < previous[1] * 1.1:
            stops = previous[0]
        previous = (jobs, case["speedup"])
    cores = os.cpu_count()
    lines += ["", f"CPU floor: the tool's and the server's CPU seconds over the {cores} cores, the least wall "
              "time the machine allows for that run; where the wall time reaches it, more jobs cannot help."]
    lines.append("")
    if stops is None:
        last = f["jobs"][previous[0]]
        lines.append(f"The speed-up still grows at --jobs {previous[0]} on this {cores}-core machine, where the "
                     f"wall time is {last['median'] / ((last['cpu_median'] + last['server_cpu']) / cores):.2f} "
                     "times its CPU floor: what more jobs can add is at most that.")
    else:
        lines.append(f"The speed-up stops growing (less than 10% more) after --jobs {stops} on this {cores}-core "
                     "machine, where the server (most of the CPU) and the tool share the cores.")
    lines += ["", "Peak memory (max RSS of the tolvane-exec process, GNU time), --jobs 2, every target a short "
              "call (the script already applied under its --once id):", "",
              "| report | 100 targets | 1,000 targets | ratio 1,000/100 |", "|---|---|---|---|"]
    for report, by_n in f["memory"].items():
        small, large = by_n[min(by_n)], by_n[max(by_n)]
        lines.append(f"| --report {report} | {small['peak_rss_bytes'] / 2**20:.1f} MiB ({small['seconds']:.1f} s) | "
                     f"{large['peak_rss_bytes'] / 2**20:.1f} MiB ({large['seconds']:.1f} s) | "
                     f"{large['peak_rss_bytes'] / small['peak_rss_bytes']:.2f} |")
    return "\n".join(lines) + "\n"


def update_readme(text):
    """Puts the latest table between the README's markers."""
    readme = os.path.join(ROOT, "bench", "README.md")
    if not os.path.exists(readme):
        return
    content = open(readme).read()
    begin, end = "<!-- latest results: begin -->", "<!-- latest results: end -->"
    if begin in content and end in content:
        head, rest = content.split(begin, 1)
        tail = rest.split(end, 1)[1]
        open(readme, "w").write(f"{head}{begin}\n{text}{end}{tail}")


if __name__ == "__main__":
    sys.exit(main())
