#!/usr/bin/env python3
"""The fault check (make faults): the program's own code, run many times under
injected failures, checked after every run against what the README promises.

  usage: run-faults.py <build folder> [--quick]

Injectors:
- libfiu (its preload libraries, as fiu-run -x sets them): random failures, with a real
  errno, of the POSIX calls its preload library wraps. Of the calls a settings write or a
  generation run makes those are open, close, read, write, writev and pwrite (also cut
  short: the ".../reduce" points), ftruncate, fsync, fdatasync and rename; it has no
  failure points for fallocate, flock, fcntl, linkat or renameat2. Its open wrapper passes
  mode 000 for an unnamed file (O_TMPFILE): our shim in front of it
  (tests/tools/tmpfile_shim.c) makes those opens itself, with the program's mode, and
  libfiu fails none of them.
- strace, for every system call of one settings write in turn: SIGKILL at that call,
  and that call failing (flock ENOLCK, fallocate and writes ENOSPC, open EACCES, any
  other EIO). This reaches the calls libfiu lacks.
- FIFOs where the settings file or the language file should be.
- For the output file: strace -P (the calls on that file only) failing its close or its
  ftruncate; the file removed, renamed or written by a second run during a run, or
  given a hole (fallocate --punch-hole).

Invariants:
- settings file: it reads as the old or the new suffix list (through the program's own
  reader), holds no NUL byte and nothing else is beside it; a write that reported
  success left the new list; the other sections keep their keys; it keeps its mode and
  owner (a new file: 0666 less the umask, the user's);
- output file: exactly the addresses the run reported (its "count"), consecutive from
  From, each a whole line ended by CR LF; only a run that reported its cut-back failed
  (a failed write whose cut-back failed too) may end in a torn tail of the addresses
  after those; a completion or stop notice only for a run that completed or stopped,
  and for a failed write one warning (that the file is incomplete, and why);
- a run whose output was removed, renamed, replaced by a second run or given a hole
  (real ones, during the run), whose close fails, or whose cut-back fails, ends as a
  failed write;
- every run ends within its bound.
Run as an ordinary user, the writes "as another user" run as that user in a folder it may
not write, and what only root can do is skipped, with the reason printed.
Exits 1 on any violation.
"""
import argparse
import collections
import concurrent.futures
import contextlib
import errno
import os
import re
import resource
import shutil
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import time

SUFFIX = b"[Suffix]\r\nmail.example.com=\r\nexample.net=\r\n"
WITH_OTHER = SUFFIX + b"[Other]\r\nkeep=1\r\n"
OLD = ["mail.example.com", "example.net"]

# Settings writes: (name, profile_write options, content before, operation, new list).
# "{seed}" stands for an installed settings file that the user's missing copy starts from.
SETTINGS = [
    ("add, temporary file", [], SUFFIX, ["write", "Suffix", "new.example", ""],
     OLD + ["new.example"]),
    ("delete, temporary file", [], SUFFIX, ["delete", "Suffix", "mail.example.com"],
     ["example.net"]),
    ("add, in place", ["--in-place"], SUFFIX, ["write", "Suffix", "new.example", ""],
     OLD + ["new.example"]),
    ("delete, in place", ["--in-place"], SUFFIX, ["delete", "Suffix", "mail.example.com"],
     ["example.net"]),
    ("add before another section, in place", ["--in-place"], WITH_OTHER,
     ["write", "Suffix", "new.example", ""], OLD + ["new.example"]),
    ("first add to the user's copy", ["--seed", "{seed}"], None,
     ["write", "Suffix", "new.example", ""], OLD + ["new.example"]),
]

# libfiu's failure points for the calls above; "*" takes the short-write points too.
FIU_POINTS = ["posix/io/oc/*", "posix/io/rw/*", "posix/io/sync/*", "posix/io/dir/rename"]
# A write within one page is whole or not done at all on Linux; the rewrite of a
# page in place relies on that, so its row leaves out the points that cut one short.
FIU_WHOLE_WRITES = ["posix/io/oc/*", "posix/io/rw/read", "posix/io/rw/write",
                    "posix/io/rw/pwrite", "posix/io/rw/ftruncate", "posix/io/sync/*",
                    "posix/io/dir/rename"]
PROBABILITIES = [0.02, 0.05, 0.1, 0.2, 0.3]
ERRNO_OF = {"flock": "ENOLCK", "fcntl": "ENOLCK", "fallocate": "ENOSPC", "write": "ENOSPC",
            "pwrite64": "ENOSPC", "openat": "EACCES"}

RUN_FROM = 999_990  # the digits grow by one within the run
RUN_COUNT = 200_000
SETTINGS_BOUND = 30
RUN_BOUND = 120
ROOT = os.geteuid() == 0
UMASK = os.umask(0o022)
os.umask(UMASK)
SKIPPED = []  # (what, why) of the parts that need root, run as another user
FIU_PRELOAD = []  # set by main


class Check:
    def __init__(self):
        self.violations = []
        self.tables = []

    def fail(self, where, problem):
        self.violations.append("%s: %s" % (where, problem))

    def ended(self, where, code, bound):
        """False (a violation) when code says the run did not end within bound."""
        if code is None:
            self.fail(where, "did not end within %d s" % bound)
        return code is not None


def run(command, bound, **kw):
    """(return code or None when it did not end within bound, stdout, stderr)"""
    try:
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=bound, **kw)
        return done.returncode, done.stdout.decode(errors="replace"), \
            done.stderr.decode(errors="replace")
    except subprocess.TimeoutExpired:
        return None, "", ""


def two_at_a_time(one, jobs):
    """one(job) for every job, two at a time (the machine's cores), in order."""
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        return list(pool.map(one, jobs))


@contextlib.contextmanager
def scratch(work):
    """A folder of its own under work, removed afterwards."""
    folder = tempfile.mkdtemp(dir=work)
    try:
        yield folder
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def strace(output="/dev/null", trace=None, inject=None, options=()):
    """strace following every process, its trace to output: the calls named trace (all
    when None), each doing inject ("error=EIO", "signal=KILL:when=3") when given."""
    command = ["strace", "-f", "-qq"] + list(options) + ["-o", output]
    if trace:
        command += ["-e", "trace=" + trace]
    if inject:
        command += ["-e", "inject=%s:%s" % (trace, inject)]
    return command + ["--"]


def traced_names(command, marker, trace_folder, user=(), traced=None):
    """The names of the calls (of the names traced, all when None) an undisturbed command
    makes as user: (its exit code, those before its first call whose line holds marker,
    those from it on)."""
    with tempfile.NamedTemporaryFile(dir=trace_folder) as trace:
        os.chmod(trace.name, 0o666)
        code = run(list(user) + strace(trace.name, traced) + command, SETTINGS_BOUND)[0]
        lines = open(trace.name).read().splitlines()
    names = [(m.group(1), marker in line) for line in lines
             for m in [re.match(r"\d+\s+([a-z0-9_]+)\(", line)] if m]
    first = next(i for i, (_, here) in enumerate(names) if here)
    return code, [n for n, _ in names[:first]], [n for n, _ in names[first:]]


def owned(path):
    """The file's mode bits and owner."""
    st = os.stat(path)
    return stat.S_IMODE(st.st_mode), st.st_uid, st.st_gid


def new_file():
    """The mode and owner a new file of this user gets."""
    return 0o666 & ~UMASK, os.geteuid(), os.getegid()


def check_owned(check, where, path, before):
    """A violation (True) unless the file at path has before's mode and owner."""
    after = owned(path)
    if after != before:
        check.fail(where, "mode %o, owner %d:%d; it had %o, %d:%d" % (after + before))
    return after != before


def listed(tool, path, section="Suffix"):
    """The keys of section through the program's own reader (None when it failed)."""
    code, out, _ = run([tool, "list", path, section], SETTINGS_BOUND)
    return [line[4:] for line in out.splitlines() if line.startswith("key ")] if code == 0 else None


class Settings:
    """One settings write in a folder of its own (a context: the folder goes at its end)."""

    def __init__(self, tool, scenario, work):
        self.tool = tool
        self.name, options, self.content, operation, self.new = scenario
        self.folder = tempfile.mkdtemp(dir=work)
        self.own = os.path.join(self.folder, "own")
        os.mkdir(self.own)
        self.file = os.path.join(self.own, "Korvani.ini")
        seed = os.path.join(self.folder, "installed.ini")
        with open(seed if self.content is None else self.file, "wb") as f:
            f.write(SUFFIX if self.content is None else self.content)
        self.seeded = self.content is None
        self.owned = new_file() if self.seeded else owned(self.file)
        self.others = {"Other": ["keep"]} if self.content == WITH_OTHER else {}
        self.command = [tool] + [seed if o == "{seed}" else o for o in options] + \
            [operation[0], self.file] + operation[1:]

    def __enter__(self):
        return self

    def __exit__(self, *_):
        shutil.rmtree(self.folder, ignore_errors=True)

    def left(self):
        return sorted(set(os.listdir(self.own)) - {"Korvani.ini"})

    def check(self, check, where, code, leftovers_allowed=False):
        """'old' or 'new' (None on a violation, which check records)."""
        if not check.ended(where, code, SETTINGS_BOUND):
            return None
        if self.left() and not leftovers_allowed:
            check.fail(where, "left beside the file: %s" % self.left())
        if not os.path.exists(self.file):
            state = "old" if self.seeded else None
        elif check_owned(check, where, self.file, self.owned) and not ROOT:
            state = None  # a mode that keeps this user out
        else:
            with open(self.file, "rb") as f:
                data = f.read()
            if b"\0" in data:
                check.fail(where, "NUL bytes in the file: %r" % data)
            keys = listed(self.tool, self.file)
            state = "old" if keys == OLD else "new" if keys == self.new else None
            for section, keys in self.others.items():
                if listed(self.tool, self.file, section) != keys:
                    check.fail(where, "section %s lost its keys: %r" % (section, data))
            if state is None:
                check.fail(where, "reads as neither list: %r" % data)
        if code == 1 and state != "new":
            check.fail(where, "reported success, file reads as %s" % state)
        return state


def fiu_command(points, probability, command):
    """command under libfiu, as fiu-run -x runs it, behind our shim."""
    enable = "\n".join("enable_random name=%s,probability=%g" % (point, probability)
                       for point in points)
    return ["env", "FIU_ENABLE=" + enable, "LD_PRELOAD=" + " ".join(FIU_PRELOAD)] + command


def settings_under_libfiu(tool, work, runs, check):
    def one(job):
        scenario, i = job
        points = FIU_WHOLE_WRITES if scenario[2] == WITH_OTHER else FIU_POINTS
        p = PROBABILITIES[i % len(PROBABILITIES)]
        with Settings(tool, scenario, work) as s:
            code, _, err = run(fiu_command(points, p, s.command), SETTINGS_BOUND)
            state = s.check(check, "libfiu p=%g %s run %d" % (p, s.name, i), code)
        return scenario[0], state, code, re.search(r"failure (\S+) (\S+)", err)

    tally = collections.OrderedDict((s[0], collections.Counter()) for s in SETTINGS)
    reasons = collections.defaultdict(collections.Counter)  # failure: errno: runs
    for name, state, code, failure in two_at_a_time(
            one, [(scenario, i) for scenario in SETTINGS for i in range(runs)]):
        tally[name].update(runs=1, failed=int(code != 1), **{state or "violated": 1})
        if failure:
            reasons[failure.group(1)][failure.group(2)] += 1
    check.tables.append(("Settings writes under libfiu (p = %s, %d runs a row)" %
                         (", ".join("%g" % p for p in PROBABILITIES), runs),
                         ["row", "runs", "reported a failure", "old list", "new list",
                          "invariants held"],
                         [[name, t["runs"], t["failed"], t["old"], t["new"],
                           t["runs"] - t["violated"]] for name, t in tally.items()]))
    check.tables.append(("Reasons the failed writes gave", ["failure", "runs", "errno"],
                         [[f, sum(errors.values()), " ".join(sorted(errors))]
                          for f, errors in sorted(reasons.items())]))


def traced_calls(tool, scenario, work):
    """The system calls of one undisturbed write, from its first call on the settings
    folder to the end, each as (name, its number among calls of its name)."""
    with Settings(tool, scenario, work) as s:
        code, before, names = traced_names(s.command, s.own, s.folder)
    if code != 1:
        sys.exit("faults: the undisturbed write of %s failed" % scenario[0])
    seen = collections.Counter(before)
    calls = []
    for name in names:
        seen[name] += 1
        if name != "exit_group":
            calls.append((name, seen[name]))
    return calls


def settings_under_strace(tool, work, check):
    def one(job):
        scenario, (name, nth), mode = job
        action = "signal=KILL" if mode == "kill" else "error=" + ERRNO_OF.get(name, "EIO")
        with Settings(tool, scenario, work) as s:
            code = run(strace(trace=name, inject="%s:when=%d" % (action, nth)) + s.command,
                       SETTINGS_BOUND)[0]
            where = "%s at %s #%d (%s)" % (mode, name, nth, s.name)
            killed = code in (-9, 137)
            # So does a failed unlink of the old file that the rename exchanged out.
            spared = killed or name == "unlink"
            state = s.check(check, where, None if code is None else (0 if killed else code),
                            leftovers_allowed=spared)
            left = len(s.left())
            if spared and left:
                # A writer killed between naming its temporary file and the rename leaves
                # the name; the next write removes it. The old file that the exchange moved
                # out (killed before removing it) stays: no later writer can tell it from
                # another program's file.
                again = run([tool, "write", s.file, "Suffix", "after.example", ""],
                            SETTINGS_BOUND)[0]
                others = [n for n in s.left() if open(os.path.join(s.own, n), "rb").read() !=
                          (s.content or SUFFIX)]
                if again != 1 or others:
                    check.fail(where, "the next write did not remove what the killed one left")
                left_old = len(s.left())
            else:
                left_old = 0
        return scenario[0], mode, state, killed, left, left_old

    jobs = [(scenario, call, mode) for scenario in SETTINGS
            for call in traced_calls(tool, scenario, work) for mode in ("kill", "error")]
    tally = collections.OrderedDict()
    for name, mode, state, killed, left, left_old in two_at_a_time(one, jobs):
        tally.setdefault((name, mode), collections.Counter()).update(
            calls=1, killed=int(killed), left=int(left > 0), left_old=int(left_old > 0),
            **{state or "violated": 1})
    rows = {"kill": [], "error": []}
    for (name, mode), t in tally.items():
        held = [t["old"], t["new"], t["calls"] - t["violated"]]
        rows[mode].append([name, t["calls"]] + ([t["killed"]] + held + [t["left"], t["left_old"]]
                                                if mode == "kill" else held))
    check.tables.append(("A kill at every system call of one settings write",
                         ["row", "calls", "killed there", "old list", "new list",
                          "invariants held", "temporary name left",
                          "of them the old file the exchange moved out, which stays"],
                         rows["kill"]))
    check.tables.append(("A failure of every system call of one settings write, in turn",
                         ["row", "calls", "old list", "new list", "invariants held"],
                         rows["error"]))


# Writes whose file another program changes, on a file system without the exchange of
# two names, or without extended attributes: (name, profile_write options, the calls
# strace fails and with what, exit code, new list, whether the file is written in place).
# "{acl}": the file has an ACL (owning group r--, nobody rw-, mask rw-: its group bits
# read rw-), which must stay; a plain rw- for the group would give it write.
ADDED = OLD + ["new.example"]
MEDDLED = OLD + ["meddled.example"]
REWRITTEN = ["post.example.com", "example.net"]
XATTR_CALLS = "listxattr,flistxattr,getxattr,fgetxattr,setxattr,fsetxattr,fremovexattr"
OUTSIDE = [
    ("appended to (>>) before the replace", ["--meddle", "append"], None, 0, MEDDLED, False),
    ("rewritten in place before the replace", ["--meddle", "rewrite"], None, 0, REWRITTEN, False),
    ("no exchange (renameat2 EINVAL)", [], ("renameat2", "EINVAL"), 1, ADDED, False),
    ("no exchange (renameat2 ENOSYS)", [], ("renameat2", "ENOSYS"), 1, ADDED, False),
    ("no exchange, appended to (>>)", ["--meddle", "append"], ("renameat2", "EINVAL"), 0,
     MEDDLED, False),
    ("no exchange, rewritten in place", ["--meddle", "rewrite"], ("renameat2", "ENOSYS"), 0,
     REWRITTEN, False),
    ("attribute calls failing (ENOTSUP, as bindfs --xattr-none), a file with an ACL", ["{acl}"],
     (XATTR_CALLS, "EOPNOTSUPP"), 1, ADDED, True),
    ("an attribute list over 64 KiB (listxattr E2BIG)", [], ("listxattr", "E2BIG"), 1, ADDED,
     True),
]
ACL = struct.pack("<I" + "HHI" * 5, 2, 1, 6, 0xffffffff, 2, 6, 65534, 4, 4, 0xffffffff,
                  0x10, 6, 0xffffffff, 0x20, 0, 0xffffffff)


def acl_of(path):
    """The file's ACL as stored (None: none)."""
    try:
        return os.getxattr(path, "system.posix_acl_access")
    except OSError:
        return None


def settings_changed_outside(tool, work, check):
    """Another program's change before the replace is kept and the write fails; without
    the exchange the write goes through its checked rename; where attributes cannot be
    read or copied the file is written in place and keeps its ACL and mode. Nothing is
    left beside the file."""
    rows = []
    for name, options, failing, expected_code, new, in_place in OUTSIDE:
        with scratch(work) as folder:
            path = os.path.join(folder, "Korvani.ini")
            with open(path, "wb") as f:
                f.write(SUFFIX)
            if "{acl}" in options:
                os.setxattr(path, "system.posix_acl_access", ACL)
            before = os.stat(path)
            acl = acl_of(path) if "{acl}" in options else None
            prefix = strace(trace=failing[0], inject="error=" + failing[1]) if failing else []
            code, _, err = run(prefix + [tool] + [o for o in options if o != "{acl}"] +
                               ["write", path, "Suffix", "new.example", ""], SETTINGS_BOUND)
            after, keys = os.stat(path), listed(tool, path)
            left = sorted(set(os.listdir(folder)) - {"Korvani.ini"})
            problems = []
            if code != expected_code or keys != new:
                problems.append("exit code %s (%s), lists %s" % (code, err.strip(), keys))
            if in_place and after.st_ino != before.st_ino:
                problems.append("replaced, not written in place")
            if after.st_mode != before.st_mode or acl_of(path) != acl or \
                    (after.st_uid, after.st_gid) != (before.st_uid, before.st_gid):
                problems.append("mode %o, owner %d, was %o, %d; ACL %r, was %r" % (
                    after.st_mode, after.st_uid, before.st_mode, before.st_uid, acl_of(path), acl))
            if left:
                problems.append("left beside the file: %s" % left)
        for problem in problems:
            check.fail(name, problem)
        rows.append([name, code, " ".join(keys or []), "not written" if code != 1 else
                     "in place" if after.st_ino == before.st_ino else "replaced", len(problems)])
    check.tables.append(("Settings writes changed from outside, without the exchange, without "
                         "attributes", ["row", "exit code", "lists", "file", "problems"], rows))


# ---------------------------------------------------------------------------
# Settings writes by two users, their undo under real failures, the order of their calls

OTHER_USER = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]
SHARED_FILE = (0o666, os.geteuid(), os.getegid())  # shared_settings' file


@contextlib.contextmanager
def shared_settings(work, folder_mode):
    """A folder of root's (folder_mode) holding a Korvani.ini every user may write."""
    with scratch(work) as folder:
        path = os.path.join(folder, "Korvani.ini")
        with open(path, "wb") as f:
            f.write(SUFFIX)
        os.chmod(path, 0o666)
        os.chmod(folder, folder_mode)
        try:
            yield path
        finally:
            os.chmod(folder, 0o755)  # for its removal


def settings_writers_at_once(tool, work, check):
    """Two writers adding at once keep every key that was reported added: root through
    a temporary file beside a user who cannot read the folder (0711) and writes in
    place; and two writers on a file system whose flock fails (ENOLCK), under fcntl.
    Where no lock works (flock and fcntl failing on the file and its folder with ENOLCK,
    EOPNOTSUPP or ENOSYS), a write goes on without one at once."""
    rows = []
    enolck = strace(trace="flock", inject="error=ENOLCK")
    writers = [("flock failing with ENOLCK", 0o755, [enolck, enolck], 30)]
    if ROOT:
        writers.insert(0, ("root and a user, folder 0711", 0o711, [[], OTHER_USER], 100))
    else:
        SKIPPED.append(("two writers, root and a user", "only root starts one as another user"))
    for name, mode, users, count in writers:
        with shared_settings(work, mode) as path:
            started = time.monotonic()
            done = two_at_a_time(lambda i: run(
                users[i] + [tool, "add-many", path, "Suffix", "w%d-" % i, str(count)],
                RUN_BOUND), range(2))
            keys = listed(tool, path) or []
            check_owned(check, "two writers, %s" % name, path, SHARED_FILE)
        codes = [code for code, _, _ in done]
        # A writer that found the lock taken for its whole wait (a busy machine) says so
        # and adds nothing: every other add is kept, and nothing else.
        failed = dict(line.split()[1:] for _, out, _ in done for line in out.splitlines()
                      if line.startswith("failed "))
        expected = OLD + ["w%d-%d" % (i, k) for i in range(2) for k in range(count)
                          if "w%d-%d" % (i, k) not in failed]
        kept = sum(key in keys for key in expected[2:])
        if None in codes or set(failed.values()) - {"busy"} or sorted(keys) != sorted(expected):
            check.fail("two writers, %s" % name, "exit codes %s, %d of %d keys kept, failed %s" %
                       (codes, kept, 2 * count - len(failed), failed))
        rows.append([name, 2 * count, codes.count(0), len(failed), kept,
                     "%.1f s" % (time.monotonic() - started)])
    for error in ("ENOLCK", "EOPNOTSUPP", "ENOSYS"):
        with shared_settings(work, 0o755) as path:
            started = time.monotonic()
            code = run(strace(trace="flock,fcntl", inject="error=" + error,
                              options=["-P", path, "-P", os.path.dirname(path)]) +
                       [tool, "write", path, "Suffix", "new.example", ""], SETTINGS_BOUND)[0]
            took, kept = time.monotonic() - started, listed(tool, path) == OLD + ["new.example"]
            check_owned(check, "no lock (%s)" % error, path, SHARED_FILE)
        if code != 1 or not kept or took > 2:
            check.fail("no lock (%s)" % error, "exit code %s after %.1f s" % (code, took))
        rows.append(["no lock works (%s)" % error, 1, int(code == 1), 0, int(kept),
                     "%.1f s" % took])
    check.tables.append(("Two writers adding at once",
                         ["row", "adds", "writers that reported every add",
                          "adds that reported busy (and changed nothing)", "keys kept", "took"],
                         rows))


# Writes in place, by a user who may not write the folder (another user, as root; without
# root, this one in a folder made read-only), and through a temporary file.
ORDERED = [
    ("delete, in place", True, ["delete", "Suffix", "mail.example.com"], ["example.net"]),
    ("delete of the last key, in place", True, ["delete", "Suffix", "example.net"],
     ["mail.example.com"]),
    ("add, in place", True, ["write", "Suffix", "new.example", ""], OLD + ["new.example"]),
    ("add, temporary file", False, ["write", "Suffix", "new.example", ""], OLD + ["new.example"]),
]
ORDER_CALLS = "openat,pwrite64,fdatasync,fsync,ftruncate,linkat,rename,renameat2,close"
UNDO_CALLS = ("fdatasync", "pwrite64", "ftruncate", "close")


def order_problems(names):
    """Where a power cut could find the file neither old nor new: a cut or a rename
    of data not synced, a rename the folder does not sync, writes left unsynced."""
    problems, unsynced = [], False
    for i, name in enumerate(names):
        if name == "pwrite64":
            unsynced = True
        elif name == "fdatasync":
            unsynced = False
        elif name in ("ftruncate", "linkat", "rename", "renameat2") and unsynced:
            problems.append("%s #%d before the writes were synced" % (name, i))
        if name in ("rename", "renameat2") and "fsync" not in names[i:]:
            problems.append("the folder is not synced after the rename")
    if unsynced:
        problems.append("writes not synced at the end")
    return problems


def settings_undo_and_order(tool, work, check):
    """The order of the calls of each write, and each fdatasync, pwrite64, ftruncate
    and close failing in turn (EIO), alone or with every later one of its kind (the
    undo fails): a write that reports a failure leaves the file byte for byte as it
    was, or (the undo failed) whole; one that reports success leaves the new list."""
    order_rows, rows = [], []
    for name, in_place, operation, new in ORDERED:
        command = lambda path: [tool, operation[0], path] + operation[1:]  # noqa: E731
        user = OTHER_USER if in_place and ROOT else []
        folder_mode = 0o555 if in_place and not ROOT else 0o755
        with shared_settings(work, folder_mode) as path:
            code, before, names = traced_names(command(path), "Korvani.ini", work, user,
                                               ORDER_CALLS)
        problems = order_problems(names) if code == 1 else ["the undisturbed write failed"]
        for problem in problems:
            check.fail("order of calls, %s" % name, problem)
        order_rows.append([name, " ".join(n for n in names if n != "openat"), len(problems)])
        # Each of these failing fails the write: all but the closes, and the close that
        # reports the file's write-back: the temporary file's (the first after its
        # fdatasync), in place that of the descriptor's copy (the first after the last).
        synced = [i for i, n in enumerate(names) if n == "fdatasync"] or [0]
        reporting_close = names[:synced[-1 if in_place else 0]].count("close") + 1
        tally = collections.Counter()
        for call, nth, later in [(call, nth, later) for call in UNDO_CALLS
                                 for nth in range(1, names.count(call) + 1) for later in ("", "+")]:
            where = "EIO at %s #%d%s (%s)" % (call, nth, later, name)
            with shared_settings(work, folder_mode) as path:
                inject = "error=EIO:when=%d%s" % (nth + before.count(call), later)
                code = run(user + strace(trace=call, inject=inject) + command(path),
                           SETTINGS_BOUND)[0]
                data = open(path, "rb").read()
                keys = listed(tool, path)
                check_owned(check, where, path, SHARED_FILE)
            if code == 1 and keys != new:
                check.fail(where, "reported success, file lists %s" % keys)
            elif code == 0 and not later and data != SUFFIX:
                check.fail(where, "reported failure, file changed: %r" % data)
            elif code == 0 and keys not in (OLD, new):
                check.fail(where, "reported failure, file lists %s" % keys)
            elif code != 0 and not later and (call != "close" or nth == reporting_close):
                check.fail(where, "the failure was not reported")
            tally[(later, "failed" if code == 0 else "done")] += 1
            tally[(later, "same bytes")] += code == 0 and data == SUFFIX
        rows.append([name] + [tally[(later, what)] for later in ("", "+")
                              for what in ("failed", "same bytes", "done")])
    check.tables.append(("Order of the calls of a settings write (a power cut needs the "
                         "syncs in this order)", ["row", "calls", "problems"], order_rows))
    check.tables.append(("EIO at each fdatasync, pwrite64, ftruncate and close of a settings "
                         "write: alone, and with every later one (the undo fails)",
                         ["row", "alone: reported failure", "same bytes", "done",
                          "with later: reported failure", "same bytes", "done"], rows))


def expected_addresses(count):
    return b"".join(b"%d@example.com\r\n" % (RUN_FROM + k) for k in range(count))


# ---------------------------------------------------------------------------
# Generation runs (the output file)

class Generation:
    """One generation run of the real main window (tests/tools/generation_run), from
    RUN_FROM, to out; what it reported and what its file holds."""

    def __init__(self, build, out, count=RUN_COUNT, extra=(), prefix=(), preexec=None):
        self.out = out
        self.command = list(prefix) + [
            os.path.join(build, "test-tools", "generation_run"),
            "--folder", os.path.join(build, "bin"), "--from", str(RUN_FROM),
            "--to", str(RUN_FROM + count - 1), "--output", out] + list(extra)
        self.preexec = preexec

    def start(self):
        self.process = subprocess.Popen(
            self.command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
            env=dict(os.environ, QT_QPA_PLATFORM="offscreen"), preexec_fn=self.preexec)
        return self

    def finish(self, path=None):
        """Waits for the end; reads the file at path (the output by default)."""
        try:
            stdout = self.process.communicate(timeout=RUN_BOUND)[0].decode(errors="replace")
            self.code = self.process.returncode
        except subprocess.TimeoutExpired:
            self.process.kill()
            stdout, self.code = self.process.communicate()[0].decode(errors="replace"), None
        self.notices = re.findall(r"^notice (.*)$", stdout, re.M)
        outcome = re.search(r"^outcome (\S+)$", stdout, re.M)
        count = re.search(r"^count (\d+)$", stdout, re.M)
        reason = re.search(r"^reason (\S+) (\d+)$", stdout, re.M)
        self.reason = (reason.group(1), int(reason.group(2))) if reason else None
        self.outcome = outcome.group(1) if outcome else None
        self.cut_line = re.search(r"^cut-line$", stdout, re.M) is not None
        self.count = int(count.group(1)) if count else None
        path = path or self.out
        self.data = open(path, "rb").read() if os.path.exists(path) else None
        return self

    def run(self):
        return self.start().finish()


def check_generation(run_, where, check):
    """The file is exactly the addresses the run reported; a run that reported its
    cut-back failed may hold a torn tail of the addresses after them. A completion
    or stop notice only for a completed or stopped run, one warning for a file that
    failed; a reason (a failure and its errno) only for a file that failed. Returns the
    outcome (None on a violation)."""
    data = run_.data or b""
    if not check.ended(where, run_.code, RUN_BOUND):
        return None
    if run_.cut_line:
        whole = data.startswith(expected_addresses(run_.count)) and \
            expected_addresses(data.count(b"\n") + 1).startswith(data)
    else:
        whole = data == expected_addresses(run_.count)
    if not whole:
        check.fail(where, "file (%d bytes) is not the %d addresses reported (%s)" %
                   (len(data), run_.count, run_.outcome))
        return None
    icon = {"completed": "information", "stopped": "information",
            "file-failed": "exclamation"}.get(run_.outcome)
    if [n.split(" ", 1)[0] for n in run_.notices] != ([icon] if icon else []):
        check.fail(where, "%s with the notices %r" % (run_.outcome, run_.notices))
        return None
    failed = run_.outcome not in ("completed", "stopped", "window-closed", "none")
    if failed != bool(run_.reason and run_.reason[1] > 0):
        check.fail(where, "%s with the reason %r" % (run_.outcome, run_.reason))
        return None
    return "cut-back-failed" if run_.cut_line else run_.outcome


def runs_under_libfiu(build, work, runs, check):
    probabilities = [0.01, 0.02, 0.05, 0.1]

    def one(i):
        p = probabilities[i % len(probabilities)]
        with scratch(work) as folder:
            done = Generation(build, os.path.join(folder, "out.txt"),
                              prefix=fiu_command(FIU_POINTS, p, [])).run()
        where = "generation run p=%g run %d" % (p, i)
        if done.code is not None and done.count is None:
            # The process ended before the run did (Qt ends it when it cannot load
            # its platform plugin): whatever was written is the start of the list.
            if done.data and \
                    not expected_addresses(done.data.count(b"\n") + 1).startswith(done.data):
                check.fail(where, "ended early with a file that is not the start of the list")
            return "ended before the run"
        outcome = check_generation(done, where, check)
        if outcome == "completed" and done.count != RUN_COUNT:
            check.fail(where, "completed with %d addresses" % done.count)
            return "violated"
        return outcome or "violated"

    outcomes = collections.Counter(two_at_a_time(one, range(runs)))
    held = runs - outcomes["violated"]
    check.tables.append((
        "Generation runs of %d addresses under libfiu (p = %s)" %
        (RUN_COUNT, ", ".join("%g" % p for p in probabilities)),
        ["runs", "complete", "ended by a failure", "of them with a failed cut-back",
         "ended before the run", "invariants held"],
        [[runs, outcomes["completed"],
          held - outcomes["completed"] - outcomes["ended before the run"],
          outcomes["cut-back-failed"], outcomes["ended before the run"], held]]))


def wait_for_output(path, process):
    """Until the run's file has its first addresses (False when the run ended first)."""
    while process.poll() is None:
        if os.path.exists(path) and os.path.getsize(path) > 0:
            return True
        time.sleep(0.002)
    return False


def runs_whose_file_lost_its_name(build, work, check):
    """The output removed, renamed or replaced by a second run while a long run writes
    it; its close failing; a size limit whose cut-back fails (strace -P: the calls
    on the output alone). Each run ends as a failed write, with its warning."""
    rows = []

    def one(name, act=None, count=20_000_000, failing=None, reason=("changed", errno.ENOENT),
            paused=False, **kw):
        """act(out), done once the file has its first addresses (paused: while the run is
        stopped, so that it cannot end first however slow act is), returns the run's file's
        name then ("": none) and a second run (or None); failing: the call on the output
        that fails (EIO)."""
        with scratch(work) as folder:
            out = os.path.join(folder, "out.txt")
            prefix = strace(trace=failing, inject="error=EIO",
                            options=["--seccomp-bpf", "-P", out]) if failing else ()
            first = Generation(build, out, count, prefix=prefix, **kw).start()
            path, second = (out, None) if act is None else ("", None)
            if act is not None and wait_for_output(out, first.process):
                if paused:
                    first.process.send_signal(signal.SIGSTOP)
                path, second = act(out)
                first.process.send_signal(signal.SIGCONT)
            first.finish(path)
        if path and check_generation(first, name, check) not in ("file-failed",
                                                                   "cut-back-failed"):
            check.fail(name, "reported %s" % first.outcome)
        elif not path and (first.outcome != "file-failed" or
                           [n.split(" ", 1)[0] for n in first.notices] != ["exclamation"]):
            check.fail(name, "ended %s with the notices %r" % (first.outcome, first.notices))
        if first.reason != reason:
            check.fail(name, "gave the reason %r, not %r" % (first.reason, reason))
        if second and check_generation(second, name + " (second run)", check) != "completed":
            check.fail(name, "the second run did not complete: %s" % second.outcome)
        rows.append([name, first.outcome, "%s %s" % (first.reason or ("none", "")), first.count,
                     " | ".join(first.notices) or "none"])

    one("removed", lambda out: (os.unlink(out), ("", None))[1])
    one("renamed, then Stop", lambda out: (os.rename(out, out + ".1"), (out + ".1", None))[1],
        count=100_000_000, extra=["--stop-after-events", "100"])  # about 0.8 s
    one("replaced by a second run to the same name",
        lambda out: ("", Generation(build, out, 1000).run()), paused=True)
    def punch_hole(out):
        """A hole in the file's first 64 KiB, its size kept, once it holds 128 KiB; the
        file then holds NUL bytes where addresses were, and is not checked against them."""
        deadline = time.monotonic() + RUN_BOUND
        while os.path.getsize(out) < 131_072 and time.monotonic() < deadline:
            time.sleep(0.002)
        subprocess.run(["fallocate", "--punch-hole", "--offset", "0", "--length", "65536", out],
                       check=True)
        return "", None

    one("a hole punched into its first 64 KiB", punch_hole, reason=("changed", errno.EIO))
    eio = ("write-failed", errno.EIO)
    one("its close fails (EIO)", count=RUN_COUNT, failing="close", reason=eio)
    one("a size limit of 100,003 bytes, its cut-back fails (EIO)", count=RUN_COUNT,
        failing="ftruncate", reason=eio,
        preexec=lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (100_003, 100_003)))
    check.tables.append(("Generation runs whose file is lost or fails at its end",
                         ["what happened", "outcome", "reason", "addresses listed", "notice"],
                         rows))


def fifos(build, work, check):
    """FIFOs where files should be: every run ends within its bound."""
    profile = os.path.join(build, "test-tools", "profile_write")
    tool = os.path.join(build, "test-tools", "generation_run")
    rows = []
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    for what in ("Korvani.ini", os.path.join("language", "Korvani_EN.ini")):
        with scratch(work) as folder:
            shutil.copytree(os.path.join(build, "bin", "language"),
                            os.path.join(folder, "language"))
            shutil.copy(os.path.join(build, "bin", "Korvani.ini"), folder)
            fifo = os.path.join(folder, what)
            os.remove(fifo)
            os.mkfifo(fifo)
            runs = [("generation run", [tool, "--folder", folder, "--to", "10", "--output",
                                        os.path.join(folder, "out.txt")], RUN_BOUND)]
            if what == "Korvani.ini":
                runs += [("settings write", [profile, "write", fifo, "Suffix", "new.example", ""],
                          SETTINGS_BOUND),
                         ("settings read", [profile, "list", fifo, "Suffix"], SETTINGS_BOUND)]
            for name, command, bound in runs:
                start = time.monotonic()
                code = run(command, bound, env=env)[0]
                where = "%s with %s a FIFO" % (name, what)
                if check.ended(where, code, bound) and name == "settings write" and code != 0:
                    check.fail(where, "reported success")
                rows.append(["%s a FIFO" % what, name, "%.2f s" % (time.monotonic() - start)])
    check.tables.append(("FIFOs where files should be", ["where", "run", "ended after"], rows))


def print_table(title, header, rows):
    print("\n%s" % title)
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for row in rows:
        print("| " + " | ".join(str(c) for c in row) + " |")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--quick", action="store_true", help="fewer random runs")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    tool = os.path.join(build, "test-tools", "profile_write")
    for needed in ("fiu-run", "strace"):
        if shutil.which(needed) is None:
            sys.exit("faults: %s is missing (bash scripts/install-deps.sh libfiu0 fiu-utils strace)"
                     % needed)
    # libfiu's preload libraries, where fiu-run takes them from, behind our shim.
    libraries = re.search(r'^PLIBPATH="([^"]+)"', open(shutil.which("fiu-run")).read(), re.M)
    FIU_PRELOAD[:] = [os.path.join(build, "test-tools", "tmpfile_shim.so")] + [
        os.path.join(libraries.group(1) if libraries else "/usr/lib/fiu", name)
        for name in ("fiu_run_preload.so", "fiu_posix_preload.so")]
    started = time.monotonic()
    check = Check()
    with tempfile.TemporaryDirectory(prefix="korvani-faults-") as work:
        settings_under_libfiu(tool, work, 10 if args.quick else 150, check)
        settings_under_strace(tool, work, check)
        settings_changed_outside(tool, work, check)
        os.chmod(work, 0o711)  # the other user's way to its folders
        # The other user runs a copy: the build may lie in a folder only root may enter.
        shared_tool = shutil.copy2(tool, os.path.join(work, "profile_write"))
        settings_writers_at_once(shared_tool, work, check)
        settings_undo_and_order(shared_tool, work, check)
        runs_under_libfiu(build, work, 8 if args.quick else 100, check)
        runs_whose_file_lost_its_name(build, work, check)
        fifos(build, work, check)
    for table in check.tables:
        print_table(*table)
    for what, why in SKIPPED:
        print("\nskipped, not root: %s (%s)" % (what, why))
    print("\nfaults: %d violations (%.0f s)" % (len(check.violations), time.monotonic() - started))
    for violation in check.violations[:40]:
        print("  " + violation)
    return 1 if check.violations else 0


if __name__ == "__main__":
    sys.exit(main())
