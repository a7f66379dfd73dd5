"""What the end-to-end tests share: the private Firebird server, isql,
databases with EXECUTA_SQL declared, and the failure folder.

TOLVANE_E2E_SERVER picks the server: fb3 (default), the Debian Firebird 3
one of scripts/fbserver.sh, with Debian's isql-fb; or fb4 / fb5, the ones of
scripts/fbserver4.sh / fbserver5.sh, with that tree's own tools and client
library. The server is started by scripts/test.sh; a test that finds none
fails, it never skips, except where no Firebird 4 or 5 tree is to be had at
all: then such a suite exits with 77, which CTest reports as skipped, or
with 1 under CI=true.
"""

import os
import re
import shutil
import subprocess
import sys
import time
import unittest
from pathlib import Path

PASSWORD = "ravenquil"
BUILD_DIR = Path(os.environ.get("TOLVANE_E2E_BUILD_DIR", "build")).resolve()
SOURCE_DIR = Path(os.environ.get("TOLVANE_E2E_SOURCE_DIR", Path(__file__).parents[2])).resolve()
DECLARATION = SOURCE_DIR / "sql" / "udftolvane.sql"
SERVER_KIND = os.environ.get("TOLVANE_E2E_SERVER", "fb3")
WORK_ROOT = BUILD_DIR / ("e2e-work" if SERVER_KIND == "fb3" else f"e2e-work-{SERVER_KIND}")
# Bytes pass through isql and the tests unchanged only in a one-byte encoding.
ENCODING = "latin-1"
SKIPPED = 77

# The versions run from a tarball of Firebird's public source build: the
# tarball beside the clone, and where the server script unpacks it.
TARBALLS = {"fb4": "firebird4/firebird-4.0.7-linux-x64.tar.xz",
            "fb5": "firebird5/firebird-5.0.4-linux-x64.tar.xz"}
# The tree of the chosen server, when it comes from a tarball.
TREE = BUILD_DIR / f"firebird{SERVER_KIND[2:]}" / "tree"

if SERVER_KIND not in ("fb3", "fb4", "fb5"):
    raise RuntimeError(f"TOLVANE_E2E_SERVER is fb3, fb4 or fb5, not {SERVER_KIND}")
if SERVER_KIND != "fb3":
    _tarball = Path(os.environ.get(f"TOLVANE_FB{SERVER_KIND[2:]}_TARBALL",
                                   SOURCE_DIR.parent / "shared" / TARBALLS[SERVER_KIND]))
    if not _tarball.is_file() and not (TREE / "bin" / "firebird").exists():
        # Under CI nothing may be skipped: a missing tree fails the suite.
        if os.environ.get("CI") == "true":
            print(f"FAILED: no Firebird {SERVER_KIND[2:]} tree: no tarball at {_tarball} "
                  f"(TOLVANE_FB{SERVER_KIND[2:]}_TARBALL) and none unpacked in {TREE}; CI=true runs every suite",
                  flush=True)
            sys.exit(1)
        print(f"skipped: no Firebird {SERVER_KIND[2:]} tree", flush=True)
        sys.exit(SKIPPED)


def _state_file():
    return BUILD_DIR / ("fbserver" if SERVER_KIND == "fb3" else f"fbserver{SERVER_KIND[2:]}") / "server.env"


def _server_values():
    """TOLVANE_FB_* values of the chosen server: for fb3 from the environment
    (scripts/test.sh exports them) or else the state file; for the others
    from their state file only, since the environment holds the fb3 server's."""
    values = {}
    if SERVER_KIND == "fb3":
        values = {k: v for k, v in os.environ.items() if k.startswith("TOLVANE_FB_")}
    if "TOLVANE_FB_PORT" not in values and _state_file().exists():
        for line in _state_file().read_text().splitlines():
            name, _, value = line.partition("=")
            values[name] = value
    return values


class Client:
    """The Firebird tools and the environment the tests run them with."""

    def __init__(self):
        if SERVER_KIND == "fb3":
            self.isql, self.fbsvcmgr, self.env = "isql-fb", "fbsvcmgr", dict(os.environ)
            self.library_dir = None
            return
        values = _server_values()
        root = values.get("TOLVANE_FB_ROOT")
        if root is None or not Path(root).is_dir():
            raise RuntimeError(f"no Firebird {SERVER_KIND[2:]} instance root: run scripts/test.sh, or "
                               f"scripts/fbserver{SERVER_KIND[2:]}.sh start --build {BUILD_DIR} before ctest")
        tree = Path(values["TOLVANE_FB_TREE"])
        self.isql, self.fbsvcmgr = str(tree / "bin" / "isql"), str(tree / "bin" / "fbsvcmgr")
        self.library_dir = tree / "lib"
        self.env = dict(os.environ, FIREBIRD=root, FIREBIRD_LOCK=values["TOLVANE_FB_LOCK_DIR"],
                        FIREBIRD_TMP=values["TOLVANE_FB_TMP_DIR"])
        self.env.pop("ISC_USER", None)
        self.env.pop("ISC_PASSWORD", None)

    def library_env(self, **extra):
        """The environment for a program that loads the client library by
        name (tolvane-exec): the tree's library comes first."""
        env = dict(self.env, **extra)
        if self.library_dir is not None:
            env["LD_LIBRARY_PATH"] = ":".join(filter(None, [str(self.library_dir),
                                                            env.get("LD_LIBRARY_PATH")]))
        return env


_client = None


def client():
    global _client
    if _client is None:
        _client = Client()
    return _client


class PrivateServer:
    """The running private server, found through TOLVANE_FB_* variables or,
    failing those, the state file that the server script leaves in the build."""

    def __init__(self):
        values = _server_values()
        if "TOLVANE_FB_PORT" not in values:
            raise RuntimeError(
                f"no private Firebird server ({SERVER_KIND}): run scripts/test.sh, or "
                f"the server script's start --build {BUILD_DIR} before ctest")
        self.kind = SERVER_KIND
        self.port = values["TOLVANE_FB_PORT"]
        self.address = f"localhost/{self.port}"
        self.failure_dir = Path(values["TOLVANE_FB_FAILURE_DIR"])
        self.pid = values.get("TOLVANE_FB_PID")
        self.lock_timeout = float(values.get("TOLVANE_FB_LOCK_TIMEOUT", "3"))
        self.state_dir = Path(values.get("TOLVANE_FB_STATE", BUILD_DIR / "fbserver"))
        # The module's configuration file the server reads on every call.
        self.conf_file = Path(values.get("TOLVANE_FB_CONF", self.state_dir / "udftolvane.conf"))
        self.root_dir = Path(values.get("TOLVANE_FB_ROOT", self.state_dir / "root"))
        self.security_db = (self.state_dir / "security3.fdb" if SERVER_KIND == "fb3"
                            else self.root_dir / f"security{SERVER_KIND[2:]}.fdb")
        if not self.answers():
            raise RuntimeError(f"the private Firebird server on port {self.port} does not answer")

    def answers(self):
        done = subprocess.run(
            [client().fbsvcmgr, f"{self.address}:service_mgr", "-user", "SYSDBA", "-password", PASSWORD,
             "-info_server_version"],
            capture_output=True, timeout=30, env=client().env)
        return done.returncode == 0

    def failure_files(self):
        """TESTE<n>.TXT files of the folder, name to bytes."""
        return {p.name: p.read_bytes() for p in self.failure_dir.glob("TESTE*.TXT")}

    def clear_failure_files(self):
        for path in self.failure_dir.glob("TESTE*.TXT"):
            path.unlink()


_server = None


def server():
    global _server
    if _server is None:
        _server = PrivateServer()
    return _server


def isql(script, connect_to=None, embedded=False, timeout=120, check=True, env=None):
    """Runs script (text) in the server's isql, stopping at the first error.
    Returns the completed process with decoded stdout/stderr."""
    args = [client().isql, "-q", "-bail"]
    if not embedded:
        args += ["-user", "SYSDBA", "-password", PASSWORD]
    if connect_to is not None:
        args.append(connect_to)
    done = subprocess.run(args, input=script.encode(ENCODING), capture_output=True,
                          timeout=timeout, env=env or client().env)
    done.stdout = done.stdout.decode(ENCODING)
    done.stderr = done.stderr.decode(ENCODING)
    if check and done.returncode != 0:
        raise AssertionError(f"isql failed ({done.returncode}):\n{done.stderr}\n{done.stdout}\n"
                             f"--- input ---\n{script}")
    return done


def text_blob(script: bytes) -> str:
    """An SQL expression for a BLOB SUB_TYPE TEXT holding exactly these bytes."""
    if not script:
        return "CAST('' AS BLOB SUB_TYPE TEXT)"
    if len(script) > 32000:
        raise ValueError("build longer scripts inside the server")
    return f"CAST(x'{script.hex()}' AS BLOB SUB_TYPE TEXT)"


def quoted(text: str) -> str:
    return "'" + text.replace("'", "''") + "'"


RESULT = re.compile(r"<<<(.*?)>>>", re.DOTALL)


def results_in(output: str):
    return RESULT.findall(output)


def executa_sql_select(blob_expr: str, path_expr: str) -> str:
    """A SELECT whose output results_in() can pick the exact result from."""
    return (f"SELECT '<<<' || COALESCE(EXECUTA_SQL({blob_expr}, {path_expr}), '(null)') || '>>>' "
            "AS R FROM RDB$DATABASE;\n")


class ServerDatabase:
    """A database on the private server with EXECUTA_SQL declared (the legacy
    declaration unless another is given)."""

    def __init__(self, work_dir: Path, name: str, setup_sql: str = "",
                 declaration: Path = DECLARATION):
        self.server = server()
        self.path = str(work_dir / f"{name}.fdb")
        self.remote = f"{self.server.address}:{self.path}"
        Path(self.path).unlink(missing_ok=True)
        isql(f"SET SQL DIALECT 3;\nCREATE DATABASE {quoted(self.remote)};\n"
             f"INPUT {quoted(str(declaration))};\nCOMMIT;\n{setup_sql}\nCOMMIT;\n")

    def run(self, sql: str, **kwargs):
        return isql("SET LIST ON;\n" + sql, connect_to=self.remote, **kwargs)

    def call(self, script: bytes, path: str = None) -> str:
        """EXECUTA_SQL(script, path) from an attachment of its own; the result
        text. The path defaults to the database's own plain path."""
        return self.call_expr(text_blob(script), quoted(self.path if path is None else path))

    def call_expr(self, blob_expr: str, path_expr: str) -> str:
        found = results_in(self.run(executa_sql_select(blob_expr, path_expr)).stdout)
        if len(found) != 1:
            raise AssertionError(f"no single result in isql output for {blob_expr}")
        return found[0]

    def values(self, query: str):
        """The values of the one column V of query, one per row, read by
        another attachment (so only committed work shows)."""
        out = self.run(query if query.rstrip().endswith(";") else query + ";").stdout
        return [line[len("V"):].strip() for line in out.splitlines() if re.match(r"^V\s", line)]


class WorkDir:
    """A fresh folder per test class, left in place for a look after a failure."""

    @staticmethod
    def make(name: str) -> Path:
        path = WORK_ROOT / name
        shutil.rmtree(path, ignore_errors=True)
        path.mkdir(parents=True)
        return path


class ServerTestCase(unittest.TestCase):
    """Every test starts with an empty failure folder; the server must still
    answer after each class."""

    @classmethod
    def setUpClass(cls):
        cls.server = server()
        cls.work = WorkDir.make(cls.__name__)

    @classmethod
    def tearDownClass(cls):
        if not server().answers():
            raise AssertionError("the private Firebird server stopped answering")

    def setUp(self):
        self.server.clear_failure_files()

    def assertFailureFiles(self, expected: dict):
        self.assertEqual(self.server.failure_files(), expected)


def failure_line(statement: bytes, path: str) -> bytes:
    """A failure file's whole content."""
    return statement + b" - " + path.encode(ENCODING) + b"\r\n"


def elapsed(action):
    started = time.monotonic()
    value = action()
    return value, time.monotonic() - started
