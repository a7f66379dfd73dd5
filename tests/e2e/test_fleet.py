"""tolvane-exec over many databases of the private server: who ends in which
status and what the table, the JSON and the exit status say; a run killed
with SIGKILL and resumed from its journal; Ctrl-C; apply once across the
fleet; and the command lines a careless or hostile caller would try.

The databases are copies of one file made once through the server, so that
two hundred of them cost a copy each, not a CREATE DATABASE."""

import json
import os
import pty
import re
import shutil
import signal
import subprocess
import time

from e2e_support import PASSWORD, ServerTestCase, client, isql, quoted

EXEC = os.environ.get("TOLVANE_E2E_EXEC", "")
FLEET = 200
STATUSES = ("ok", "failed", "broken off", "unreachable", "refused", "interrupted")
# The summary line under the table, as the manual page shows it; a run cut
# short by Ctrl-C adds the databases it never started.
SUMMARY = re.compile(r"^(\d+) databases: (\d+) ok, (\d+) failed, (\d+) broken off, (\d+) unreachable, "
                     r"(\d+) refused, (\d+) interrupted, (\d+) skipped(?:, (\d+) not started)?; [0-9.]+ s$", re.M)
# A statement that keeps the server busy for a while (some tenths of a second).
BUSY = "EXECUTE BLOCK AS DECLARE J INTEGER = 0; BEGIN WHILE (J < {}) DO J = J + 1; END"


def journal_lines(path):
    """The journal's whole lines, parsed; a last line without its newline
    (cut by a kill mid-write) is left out, as --resume leaves it out."""
    if not path.exists():
        return []
    text = path.read_bytes().decode("utf-8")
    whole = text.split("\n")[:-1]
    return [json.loads(line) for line in whole]


def wait_for(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return
        time.sleep(0.02)
    raise AssertionError(f"timed out waiting for {what}")


class Fleet(ServerTestCase):

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.template = cls.work / "template.fdb"
        isql(f"SET SQL DIALECT 3;\nCREATE DATABASE {quoted(cls.remote(cls.template))} PAGE_SIZE 8192;\n"
             "CREATE TABLE T (N INTEGER);\nCREATE TABLE X (N INTEGER);\nCOMMIT;\n")
        done = subprocess.run(["gfix", "-write", "async", "-user", "SYSDBA", "-password", PASSWORD,
                               cls.remote(cls.template)], capture_output=True, env=client().env, timeout=60)
        assert done.returncode == 0, done.stderr
        cls.failures = cls.work / "failures"
        cls.failures.mkdir()

    @classmethod
    def remote(cls, path):
        return f"{cls.server.address}:{path}"

    def databases(self, name, count):
        """count copies of the template in a folder of their own; the files."""
        folder = self.work / name
        folder.mkdir()
        paths = [folder / f"db{i:03d}.fdb" for i in range(1, count + 1)]
        for path in paths:
            shutil.copyfile(self.template, path)
        return paths

    def script(self, name, lines):
        path = self.work / f"{name}.sql"
        path.write_text("".join(line + "\n" for line in lines))
        return path

    def targets_file(self, name, targets):
        path = self.work / f"{name}.targets"
        path.write_text("# fleet of this test\n\n" + "".join(f"{t}\n" for t in targets))
        return path

    def tool_command(self, *args):
        return [EXEC, "--no-config", "--lock-timeout", "30", *map(str, args)]

    def tool_env(self):
        return client().library_env(UDFTOLVANE_FAILURE_DIR=str(self.failures))

    def tool(self, *args, stdin=subprocess.DEVNULL, input=None, timeout=150):
        if input is not None:
            stdin = None
        return subprocess.run(self.tool_command(*args), stdin=stdin, input=input, capture_output=True,
                              env=self.tool_env(), timeout=timeout)

    def start(self, *args):
        return subprocess.Popen(self.tool_command(*args), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, env=self.tool_env(), start_new_session=True)

    def values(self, paths, query):
        """query's one value in each database, read by one isql session that
        connects to them in turn: path -> text."""
        sql = ["SET LIST ON;"]
        for path in paths:
            sql.append(f"CONNECT {quoted(self.remote(path))} USER 'SYSDBA' PASSWORD '{PASSWORD}';")
            sql.append(f"SELECT {quoted(str(path))} || '|' || ({query}) AS V FROM RDB$DATABASE;")
        out = isql("\n".join(sql) + "\n", timeout=300).stdout
        found = dict(line[1:].strip().rsplit("|", 1) for line in out.splitlines() if line.startswith("V "))
        return {path: found.get(str(path)) for path in paths}

    def rows(self, paths, table="T"):
        return {path: int(value) for path, value in self.values(paths, f"SELECT COUNT(*) FROM {table}").items()}

    def assertExit(self, done, code):
        self.assertEqual(done.returncode, code, f"stdout:\n{done.stdout[-3000:]}\nstderr:\n{done.stderr[-3000:]}")

    def report(self, done):
        return json.loads(done.stdout)

    def forged_journal(self, target):
        """A journal that says target is done, without naming a script."""
        path = self.work / "forged.journal"
        line = json.dumps({"target": target, "status": "ok", "result": "ok"}, separators=(",", ":"))
        path.write_text(line + "\n")
        return path

    # --------------------------------------------------------------- cases

    def test_1_statuses_of_two_hundred_targets_in_json_and_in_the_table(self):
        paths = self.databases("statuses", FLEET)
        targets = [self.remote(p) for p in paths]
        # Ten that cannot be opened: files gone, databases shut down, and
        # a host:port where no server listens.
        for path in paths[10:14]:
            path.unlink()
        for path in paths[50:54]:
            done = subprocess.run(["gfix", "-shut", "full", "-force", "0", "-user", "SYSDBA", "-password",
                                   PASSWORD, self.remote(path)], capture_output=True, env=client().env, timeout=60)
            self.assertEqual(done.returncode, 0, done.stderr)
        for i in (100, 101):
            targets[i] = f"localhost/1:{paths[i]}"
        down = {targets[i] for i in (*range(10, 14), *range(50, 54), 100, 101)}
        up = [p for t, p in zip(targets, paths) if t not in down]
        listing = self.targets_file("statuses", targets)
        script = self.script("statuses", ["INSERT INTO T VALUES (1)"])

        as_json = self.tool("--targets", listing, "--jobs", "4", "--report", "json", script)
        self.assertExit(as_json, 1)
        report = self.report(as_json)
        entries = report["targets"]
        self.assertEqual(sorted(e["target"] for e in entries), sorted(targets))
        not_ok = {e["target"]: e["status"] for e in entries if e["status"] != "ok"}
        self.assertEqual(not_ok, {t: "unreachable" for t in down})
        for entry in entries:
            with self.subTest(target=entry["target"]):
                if entry["status"] == "ok":
                    self.assertEqual((entry["result"], entry["first_failure"], entry["failure_folder"]),
                                     ("ok", None, None))
                else:
                    self.assertNotEqual(entry["result"], "ok")
        fleet = report["fleet"]
        self.assertEqual({k: fleet[k] for k in ("targets", "ok", "failed", "broken_off", "unreachable", "refused",
                                                "interrupted", "skipped", "not_started")},
                         {"targets": FLEET, "ok": FLEET - 10, "failed": 0, "broken_off": 0, "unreachable": 10,
                          "refused": 0, "interrupted": 0, "skipped": 0, "not_started": 0})
        self.assertEqual(set(self.rows(up).values()), {1})

        # The same through standard input, with the table: once with the
        # per-target lines on standard error, once with no report.
        for report_kind in ("text", "none"):
            with self.subTest(report=report_kind):
                done = self.tool("--targets", "-", "--jobs", "4", "--report", report_kind, script,
                                 input=listing.read_bytes())
                self.assertExit(done, 1)
                out = done.stdout.decode()
                summary = SUMMARY.findall(out)
                self.assertEqual(summary, [(str(FLEET), str(FLEET - 10), "0", "0", "10", "0", "0", "0", "")], out)
                table = out[:SUMMARY.search(out).start()]
                named = {t for t in targets if re.search(rf"(?m)^\s*{re.escape(t)}\s", table)}
                self.assertEqual(named, down, table)
                self.assertTrue(all("unreachable" in line for line in table.splitlines()
                                    if any(t in line for t in down)), table)
                if report_kind == "text":
                    finished = re.findall(r"(?m)^\[(\d+)/200\] (.+?): (ok|unreachable)\b", done.stderr.decode())
                    self.assertEqual(len(finished), FLEET, done.stderr.decode()[-2000:])
                    self.assertEqual({t for _, t, s in finished if s == "unreachable"}, down)
        self.assertEqual(set(self.rows(up).values()), {3})

    def test_2_a_failed_statement_is_failed_with_a_failure_folder_of_its_own(self):
        paths = self.databases("failed", 3)
        isql("CREATE TABLE Y (N INTEGER);\nCOMMIT;\n", connect_to=self.remote(paths[1]))
        script = self.script("failed", ["CREATE TABLE Y (N INTEGER)", "INSERT INTO T VALUES (1)"])
        done = self.tool(*[a for p in paths for a in ("--database", self.remote(p))], "--report", "json", script)
        self.assertExit(done, 3)
        entries = {e["target"]: e for e in self.report(done)["targets"]}
        self.assertEqual({t: e["status"] for t, e in entries.items()},
                         {self.remote(paths[0]): "ok", self.remote(paths[1]): "failed",
                          self.remote(paths[2]): "ok"})
        failed = entries[self.remote(paths[1])]
        self.assertIn("already exists", failed["first_failure"])
        folder = self.failures / f"2-{paths[1].name}"
        self.assertEqual(failed["failure_folder"], str(folder))
        self.assertEqual(sorted(p.name for p in folder.iterdir()), ["TESTE0.TXT"])
        self.assertEqual(self.rows(paths), {p: 1 for p in paths})

    def test_3_a_run_killed_mid_way_resumes_with_the_targets_it_had_not_done(self):
        paths = self.databases("resume", FLEET)
        targets = [self.remote(p) for p in paths]
        listing = self.targets_file("resume", targets)
        journal = self.work / "resume.journal"
        # Applied once and all or nothing: a target whose run the kill cut
        # short leaves nothing behind, and one that committed before its
        # journal line was written is not run twice when resumed.
        script = self.script("resume", ["INSERT INTO T VALUES (1)"])
        once = ("--once", "fleet-resume-1", "--mode", "atomic")
        runner = self.start("--targets", listing, "--jobs", "2", "--journal", journal, *once,
                            "--report", "none", script)
        try:
            wait_for(lambda: len(journal_lines(journal)) >= 40 or runner.poll() is not None, 120,
                     "40 journal lines")
            ended_first = runner.poll() is not None
        finally:
            if runner.poll() is None:
                os.killpg(runner.pid, signal.SIGKILL)
            out, err = runner.communicate(timeout=60)
        self.assertFalse(ended_first, f"the run ended before it was killed ({runner.returncode}):\n"
                                      f"{out.decode()[-2000:]}\n{err.decode()[-2000:]}")
        before = journal_lines(journal)
        done_before = {line["target"] for line in before if line["status"] in ("ok", "failed")}
        self.assertGreaterEqual(len(done_before), 40)
        self.assertLess(len(done_before), FLEET)
        self.assertEqual({line["status"] for line in before}, {"ok"})
        self.assertEqual(len({line["script_sha256"] for line in before}), 1)

        # A line cut short by a kill mid-write names a target not done: it
        # is no record of it, and the lines appended after it stay whole.
        cut = next(t for t in targets if t not in done_before)
        with journal.open("ab") as out:
            line = json.dumps({"target": cut, "status": "ok", "result": "ok"}, separators=(",", ":"))
            out.write(line.encode()[:-12])
        resumed = self.tool("--targets", listing, "--jobs", "2", "--resume", journal, *once,
                            "--report", "json", script)
        self.assertExit(resumed, 0)
        report = self.report(resumed)
        ran = [e["target"] for e in report["targets"]]
        self.assertEqual(len(ran), len(set(ran)))
        self.assertEqual(set(ran), set(targets) - done_before)
        # The counts are every database's status, the skipped ones as the
        # journal has them; "skipped" says how many came from it.
        self.assertEqual((report["fleet"]["skipped"], report["fleet"]["ok"], report["fleet"]["not_started"]),
                         (len(done_before), FLEET, 0))
        self.assertEqual(self.rows(paths), {p: 1 for p in paths})
        # The journal now shows every target done, the earlier lines kept.
        self.assertIn(cut, ran)
        after = journal_lines(journal)
        self.assertEqual(after[:len(before)], before)
        last = {line["target"]: line["status"] for line in after}
        self.assertEqual(last, {t: "ok" for t in targets})

    def test_4_ctrl_c_starts_no_new_target_and_ends_with_the_table(self):
        paths = self.databases("interrupt", 60)
        listing = self.targets_file("interrupt", [self.remote(p) for p in paths])
        journal = self.work / "interrupt.journal"
        script = self.script("interrupt", [BUSY.format(400000), "INSERT INTO T VALUES (1)"])
        runner = self.start("--targets", listing, "--jobs", "2", "--journal", journal, script)
        try:
            wait_for(lambda: len(journal_lines(journal)) >= 4 or runner.poll() is not None, 120,
                     "4 journal lines")
            at_signal = len(journal_lines(journal))
            ended_first = runner.poll() is not None
            if not ended_first:
                os.killpg(runner.pid, signal.SIGINT)
            out, err = runner.communicate(timeout=60)
            self.assertFalse(ended_first, f"the run ended before Ctrl-C ({runner.returncode}):\n"
                                          f"{out.decode()[-2000:]}\n{err.decode()[-2000:]}")
        finally:
            if runner.poll() is None:
                os.killpg(runner.pid, signal.SIGKILL)
                runner.communicate()
        out = out.decode()
        self.assertEqual(runner.returncode, 1, f"{out}\n{err.decode()[-2000:]}")
        # Every line whole JSON (journal_lines would fail on a torn one,
        # and no bytes follow the last newline).
        self.assertTrue(journal.read_bytes().endswith(b"\n"))
        lines = journal_lines(journal)
        # The two running targets finish or are interrupted; none starts after.
        self.assertLessEqual(len(lines), at_signal + 2 + 2)
        statuses = [line["status"] for line in lines]
        self.assertTrue(set(statuses) <= {"ok", "interrupted"}, statuses)
        summary = SUMMARY.findall(out)
        self.assertEqual(len(summary), 1, out)
        total, ok, failed, broken, unreachable, refused, interrupted, skipped, not_started = map(int, summary[0])
        self.assertEqual((total, ok, interrupted, not_started),
                         (len(paths), statuses.count("ok"), statuses.count("interrupted"), len(paths) - len(lines)))
        self.assertEqual((failed, broken, unreachable, refused, skipped), (0, 0, 0, 0, 0))
        for line in lines:
            if line["status"] == "interrupted":
                self.assertRegex(out, rf"(?m)^\s*{re.escape(line['target'])}\s+interrupted")
        # An interrupted target stopped after its current statement: its
        # insert never ran.
        rows = self.rows(paths)
        ok_targets = {line["target"] for line in lines if line["status"] == "ok"}
        self.assertEqual({p for p in paths if rows[p]}, {p for p in paths if self.remote(p) in ok_targets})

    def test_5_once_over_the_fleet_changes_nothing_the_second_time_and_is_quick(self):
        paths = self.databases("once", 100)
        listing = self.targets_file("once", [self.remote(p) for p in paths])
        script = self.script("once", [f"INSERT INTO T VALUES ({i})" for i in range(1, 101)])
        args = ("--targets", listing, "--jobs", "2", "--once", "fleet-once-1", "--report", "none", script)
        started = time.monotonic()
        first = self.tool(*args)
        first_time = time.monotonic() - started
        self.assertExit(first, 0)
        history = "SELECT COUNT(*) || '/' || MAX(STATUS) FROM TOLVANE$HISTORY WHERE ATTEMPT > 0"
        state = (self.rows(paths), self.values(paths, history))
        self.assertEqual(set(state[0].values()), {100})
        self.assertEqual(set(state[1].values()), {"1/applied"})
        started = time.monotonic()
        second = self.tool(*args)
        second_time = time.monotonic() - started
        self.assertExit(second, 0)
        self.assertEqual((self.rows(paths), self.values(paths, history)), state)
        self.assertLess(second_time / first_time, 0.7, f"first {first_time:.2f} s, second {second_time:.2f} s")

    def test_6_what_a_careless_or_hostile_caller_tries_is_refused(self):
        paths = self.databases("attacks", 3)
        a, b, c = (self.remote(p) for p in paths)
        script = self.script("attacks", ["INSERT INTO T VALUES (1)"])
        other = self.script("attacks-other", ["INSERT INTO T VALUES (2)"])
        journal = self.work / "attacks.journal"
        link = self.work / "attacks" / "second-name.fdb"
        link.symlink_to(paths[0])
        self.assertExit(self.tool("--targets", self.targets_file("journal", [c]), "--journal", journal, script), 0)
        master, slave = pty.openpty()
        try:
            cases = [
                ("a target listed twice", ("--targets", self.targets_file("twice", [a, b, a]), script), {}, 2),
                ("twice, once with blanks around", ("--targets", self.targets_file("blanks", [a, f"  {a}\t"]),
                                                    script), {}, 2),
                ("--database twice", ("--database", b, "--database", b, script), {}, 2),
                ("one file under a second name", ("--database", a, "--database", self.remote(link), script), {}, 2),
                ("a journal of another script", ("--database", a, "--database", c, "--resume", journal, other),
                 {}, 2),
                ("a journal line without the script's sha256",
                 ("--database", a, "--database", b, "--resume", self.forged_journal(a), script), {}, 2),
                ("a terminal without --yes", ("--database", a, "--database", b, script), {"stdin": slave}, 2),
                ("a terminal with --yes", ("--database", a, "--database", b, "--yes", script),
                 {"stdin": slave}, 0),
            ]
            for what, args, how, code in cases:
                with self.subTest(what):
                    before = self.rows(paths)
                    self.assertExit(self.tool(*args, **how), code)
                    if code == 2:
                        self.assertEqual(self.rows(paths), before)
        finally:
            os.close(master)
            os.close(slave)
        self.assertEqual(self.rows(paths), {paths[0]: 1, paths[1]: 1, paths[2]: 1})
