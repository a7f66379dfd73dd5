"""What the end-to-end tests share: the private Firebird server, isql-fb,
databases with EXECUTA_SQL declared, and the failure folder.

The server is started by scripts/test.sh (or scripts/fbserver.sh start); a
test that finds none fails, it never skips.
"""

import os
import re
import shutil
import subprocess
import time
import unittest
from pathlib import Path

PASSWORD = "ravenquil"
BUILD_DIR = Path(os.environ.get("TOLVANE_E2E_BUILD_DIR", "build")).resolve()
SOURCE_DIR = Path(os.environ.get("TOLVANE_E2E_SOURCE_DIR", Path(__file__).parents[2])).resolve()
DECLARATION = SOURCE_DIR / "sql" / "udftolvane.sql"
WORK_ROOT = BUILD_DIR / "e2e-work"
# Bytes pass through isql and the tests unchanged only in a one-byte encoding.
ENCODING = "latin-1"


class PrivateServer:
    """The running private server, found through TOLVANE_FB_* variables or,
    failing those, the state file that fbserver.sh leaves in the build."""

    def __init__(self):
        values = {k: v for k, v in os.environ.items() if k.startswith("TOLVANE_FB_")}
        state_file = BUILD_DIR / "fbserver" / "server.env"
        if "TOLVANE_FB_PORT" not in values and state_file.exists():
            for line in state_file.read_text().splitlines():
                name, _, value = line.partition("=")
                values[name] = value
        if "TOLVANE_FB_PORT" not in values:
            raise RuntimeError(
                "no private Firebird server: run scripts/test.sh, or "
                f"scripts/fbserver.sh start --build {BUILD_DIR} before ctest")
        self.port = values["TOLVANE_FB_PORT"]
        self.address = f"localhost/{self.port}"
        self.failure_dir = Path(values["TOLVANE_FB_FAILURE_DIR"])
        self.pid = values.get("TOLVANE_FB_PID")
        self.state_dir = Path(values.get("TOLVANE_FB_STATE", BUILD_DIR / "fbserver"))
        self.lock_timeout = float(values.get("TOLVANE_FB_LOCK_TIMEOUT", "3"))
        self.state_dir = Path(values.get("TOLVANE_FB_STATE", BUILD_DIR / "fbserver"))
        # The module's configuration file the server reads on every call.
        self.conf_file = Path(values.get("TOLVANE_FB_CONF", self.state_dir / "udftolvane.conf"))
        self.root_dir = Path(values.get("TOLVANE_FB_ROOT", self.state_dir / "root"))
        if not self.answers():
            raise RuntimeError(f"the private Firebird server on port {self.port} does not answer")

    def answers(self):
        done = subprocess.run(
            ["fbsvcmgr", f"{self.address}:service_mgr", "-user", "SYSDBA", "-password", PASSWORD,
             "-info_server_version"],
            capture_output=True, timeout=30)
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
    """Runs script (text) in isql-fb, stopping at the first error. Returns
    the completed process with decoded stdout/stderr."""
    args = ["isql-fb", "-q", "-bail"]
    if not embedded:
        args += ["-user", "SYSDBA", "-password", PASSWORD]
    if connect_to is not None:
        args.append(connect_to)
    done = subprocess.run(args, input=script.encode(ENCODING), capture_output=True,
                          timeout=timeout, env=env)
    done.stdout = done.stdout.decode(ENCODING)
    done.stderr = done.stderr.decode(ENCODING)
    if check and done.returncode != 0:
        raise AssertionError(f"isql-fb failed ({done.returncode}):\n{done.stderr}\n{done.stdout}\n"
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
