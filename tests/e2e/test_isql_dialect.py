"""The isql dialect against isql itself: each script of isql_corpus/ runs
once through isql-fb (-i) on a fresh embedded database and once through
tolvane-exec --dialect isql on another; both must end with the same metadata
(isql-fb -x) and the same rows in every user table.

What differs by nature is set aside: the database file names, and the
current date and time that defaults such as 'NOW' put into rows. A script
that creates its own database (CREATE DATABASE) leaves
isql-fb working on that new file, in the folder it runs in, while a run
refuses the command and goes on in its own database: the new file is then
isql's side of the comparison.
"""

import datetime
import os
import re
import subprocess
import unittest
from pathlib import Path

from e2e_support import ENCODING, WorkDir, quoted

EXEC = os.environ.get("TOLVANE_E2E_EXEC", "")
CORPUS = Path(__file__).resolve().parent / "isql_corpus"
USER = ["-user", "SYSDBA"]
# Scripts that need another one run first (by isql-fb, on both databases).
PREREQUISITES = {"fbout-body.sql": ["fbout-header.sql"]}
# isql-fb's own options for a script: isql takes SET NAMES only at its next
# CONNECT, so a script that names its character set is run with -ch.
ISQL_ARGS = {"charset_utf8.sql": ["-ch", "UTF8"]}
# Scripts that define no table: their metadata is all there is to compare.
NO_TABLES = {"fbudf.sql"}


def run_isql(args, script=None, cwd=None, timeout=300):
    done = subprocess.run(["isql-fb", "-q", *USER, *args], input=None if script is None else script.encode(ENCODING),
                          capture_output=True, cwd=cwd, timeout=timeout)
    return done.returncode, done.stdout.decode(ENCODING), done.stderr.decode(ENCODING)


def create_database(path: Path):
    path.unlink(missing_ok=True)
    code, out, err = run_isql([], f"CREATE DATABASE {quoted(str(path))};\nCOMMIT;\n")
    if code != 0:
        raise AssertionError(f"cannot create {path}: {err}{out}")


def metadata(path: Path) -> str:
    code, out, err = run_isql(["-x", str(path)])
    if code != 0:
        raise AssertionError(f"isql-fb -x {path} failed: {err}")
    return out.replace(str(path), "<database>")


def list_rows(path: Path, query: str):
    """The rows of query, each a list of 'NAME value' lines, read in isql's
    list form; every query starts with a ROW_MARK column."""
    code, out, err = run_isql([str(path)], f"SET LIST ON;\nSET BLOB ALL;\n{query}\n")
    if code != 0 or err.strip():
        raise AssertionError(f"{query} on {path} failed: {err}{out}")
    rows, current = [], None
    for line in out.splitlines():
        if line.startswith("ROW_MARK "):
            current = []
            rows.append(current)
        elif current is not None:
            current.append(line.rstrip())
    # Blank lines between rows are isql's.
    return [[line for line in row if line] for row in rows]


def user_table_rows(path: Path) -> dict:
    """Table name to its rows, sorted; blobs by their hash, arrays left out."""
    columns = list_rows(path, (
        "SELECT 'x' AS ROW_MARK, TRIM(RF.RDB$RELATION_NAME) AS T, TRIM(RF.RDB$FIELD_NAME) AS C, "
        "F.RDB$FIELD_TYPE AS TYPE_CODE, COALESCE(F.RDB$DIMENSIONS, 0) AS DIMS "
        "FROM RDB$RELATION_FIELDS RF JOIN RDB$RELATIONS R ON R.RDB$RELATION_NAME = RF.RDB$RELATION_NAME "
        "JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE "
        "WHERE COALESCE(R.RDB$SYSTEM_FLAG, 0) = 0 AND R.RDB$VIEW_BLR IS NULL "
        "ORDER BY RF.RDB$RELATION_NAME, RF.RDB$FIELD_POSITION;"))
    tables = {}
    for row in columns:
        values = dict(line.split(None, 1) if " " in line else (line, "") for line in row)
        if values["DIMS"] != "0":
            continue
        name = values["C"].replace('"', '""')
        expr = f'HASH("{name}")' if values["TYPE_CODE"] == "261" else f'"{name}"'
        tables.setdefault(values["T"], []).append(expr)
    today = datetime.date.today().isoformat()
    now = re.compile(re.escape(today) + r"( \d\d:\d\d:\d\d(\.\d+)?)?")
    result = {}
    for table, exprs in tables.items():
        quoted_table = '"' + table.replace('"', '""') + '"'
        rows = list_rows(path, f"SELECT 'x' AS ROW_MARK, {', '.join(exprs)} FROM {quoted_table};")
        result[table] = sorted("\n".join(now.sub("<now>", line) for line in row) for row in rows)
    return result


class IsqlDialect(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        if not Path(EXEC).is_file():
            raise AssertionError(f"tolvane-exec not found at '{EXEC}' (set TOLVANE_E2E_EXEC)")
        cls.work = WorkDir.make(cls.__name__)

    def run_both(self, script: Path):
        """Runs script both ways; returns the two databases to compare."""
        folder = self.work / script.stem
        isql_folder, exec_folder = folder / "isql", folder / "exec"
        for path in (isql_folder, exec_folder):
            path.mkdir(parents=True)
        isql_db, exec_db = folder / "by-isql.fdb", folder / "by-run.fdb"
        for db in (isql_db, exec_db):
            create_database(db)
            for name in PREREQUISITES.get(script.name, []):
                code, out, err = run_isql(["-i", str(CORPUS / name), str(db)])
                self.assertEqual(code, 0, f"prerequisite {name}: {err}{out}")

        # Statements that fail in isql must fail in the run too; the
        # comparison shows it, so isql's exit code is not asked for.
        _, _, isql_errors = run_isql([*ISQL_ARGS.get(script.name, []), "-i", str(script), str(isql_db)],
                                     cwd=isql_folder)
        created = sorted(isql_folder.glob("*.fdb"))
        if created:
            isql_db = created[0]

        failures = exec_folder / "failures"
        failures.mkdir()
        env = dict(os.environ, UDFTOLVANE_FAILURE_DIR=str(failures))
        done = subprocess.run([EXEC, "--dialect", "isql", "--database", str(exec_db), str(script)],
                              capture_output=True, cwd=exec_folder, env=env, timeout=600)
        self.assertIn(done.returncode, (0, 1, 3), f"tolvane-exec: {done.stderr.decode(ENCODING)}")
        return isql_db, exec_db, done, isql_errors

    def test_every_corpus_script_gives_what_isql_gives(self):
        scripts = sorted(CORPUS.glob("*.sql"))
        self.assertGreaterEqual(len(scripts), 5, f"corpus missing in {CORPUS}")
        for script in scripts:
            with self.subTest(script=script.name):
                isql_db, exec_db, done, isql_errors = self.run_both(script)
                note = (f"\ntolvane-exec said ({done.returncode}): {done.stdout.decode(ENCODING)[:2000]}"
                        f"{done.stderr.decode(ENCODING)[:2000]}\nisql-fb said: {isql_errors[:2000]}")
                self.assertEqual(metadata(exec_db), metadata(isql_db), "metadata of " + script.name + note)
                isql_rows = user_table_rows(isql_db)
                self.assertTrue(isql_rows or script.name in NO_TABLES,
                                f"{script.name} left no table to compare")
                self.assertEqual(user_table_rows(exec_db), isql_rows, "rows of " + script.name + note)


if __name__ == "__main__":
    unittest.main()
