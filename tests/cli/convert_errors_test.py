"""vantorel-convert's exit status and messages when something is wrong: usage errors, an
output folder that cannot take the file, a taken file name, missing and garbage sources.

Usage: convert_errors_test.py CONVERT
"""
import datetime
import os
import subprocess
import sys
import tempfile

CONVERT = os.path.abspath(sys.argv[1])
MESSAGE = b"From: a@example.com\r\nTo: b@example.com\r\nSubject: hello\r\nDate: Mon, 7 Jun 2021 10:00:00 +0000\r\n\r\nbody\r\n"
failures = []


def run(*args, cwd=None):
    return subprocess.run([CONVERT, *args], capture_output=True, text=True, cwd=cwd)


def check(condition, what, result=None):
    if not condition:
        detail = "" if result is None else " (exit %d)\nstdout: %s\nstderr: %s" % (result.returncode, result.stdout, result.stderr)
        failures.append(what + detail)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    return path


def timestamp(t):
    return "%d.%d.%02d %d.%d.%02d" % (t.day, t.month, t.year % 100, t.hour, t.minute, t.second)


def usage_errors():
    for args in ([], ["-o"], ["--bogus", "x"], ["-o", "a", "-o", "b", "x"]):
        r = run(*args)
        check(r.returncode == 2 and "Usage:" in r.stderr and r.stdout == "", "usage error for %s" % args, r)
    r = run("--help")
    check(r.returncode == 0 and r.stdout.startswith("Usage: vantorel-convert"), "--help", r)
    r = run("--version")
    check(r.returncode == 0 and r.stdout.startswith("vantorel-convert "), "--version", r)


def unwritable_output(src):
    good = write(os.path.join(src, "in", "1.msg"), MESSAGE)
    blocker = write(os.path.join(src, "blocker"), b"x")
    for out in (os.path.join(blocker, "sub"), blocker, "/nonexistent-vantorel-folder"):
        r = run("-o", out, good)
        check(r.returncode == 2 and out in r.stderr and r.stdout == "", "output folder " + out, r)
    # A folder that exists but takes no new files, even for root.
    r = run("-o", "/proc", good)
    check(r.returncode == 2 and "could not be created" in r.stderr and "/proc/Vantorel" in r.stderr,
          "output folder /proc", r)


def taken_name(src, out):
    good = write(os.path.join(src, "in", "1.msg"), MESSAGE)
    now = datetime.datetime.now()
    taken = []
    for s in range(0, 30):
        name = os.path.join(out, "Vantorel%s.pst" % timestamp(now + datetime.timedelta(seconds=s)))
        write(name, b"earlier file")
        taken.append(name)
    r = run("-o", out, good)
    check(r.returncode == 0, "conversion next to taken names", r)
    made = r.stdout.strip().splitlines()[-1] if r.stdout.strip() else ""
    check(made.endswith(" (2).pst") and made[: -len(" (2).pst")] + ".pst" in taken, "numbered name " + made, r)
    for name in taken:
        with open(name, "rb") as f:
            check(f.read() == b"earlier file", "earlier file kept " + name)


def bad_sources(src, out):
    good = write(os.path.join(src, "mixed", "good.msg"), MESSAGE)
    garbage = write(os.path.join(src, "mixed", "garbage.msg"), bytes(range(256)) * 4)
    empty = write(os.path.join(src, "mixed", "empty.msg"), b"")
    missing = os.path.join(src, "mixed", "deleted.msg")
    r = run("-o", out, good, missing, garbage, empty)
    check(r.returncode == 1, "exit 1 with skipped files", r)
    for path in (missing, garbage, empty):
        check("skipped %s: " % path in r.stderr, "reported " + path, r)
    check("skipped %s" % good not in r.stderr, "good file converted", r)
    check("1 of 4 file(s) converted, 3 skipped" in r.stderr, "summary line", r)
    made = r.stdout.strip().splitlines()[-1] if r.stdout.strip() else ""
    check(os.path.isfile(made) and not os.path.exists(made + ".part"), "completed PST " + made, r)


def nothing_to_convert(src, out):
    empty_dir = os.path.join(src, "nothing")
    write(os.path.join(empty_dir, "readme.txt"), b"not a message")
    before = set(os.listdir(out))
    r = run("-o", out, empty_dir)
    check(r.returncode == 2 and "nothing to convert" in r.stderr, "folder without messages", r)
    check(set(os.listdir(out)) == before, "no file made for nothing")


def relative_paths_and_default_output(src):
    write(os.path.join(src, "rel", "box", "1.msg"), MESSAGE)
    r = run("rel", cwd=src)
    made = r.stdout.strip().splitlines()[-1] if r.stdout.strip() else ""
    check(r.returncode == 0 and os.path.dirname(made) in (src, os.path.realpath(src)),
          "default output folder is the current one: " + made, r)


with tempfile.TemporaryDirectory(prefix="vantorel-cli-err-") as work:
    src, out = os.path.join(work, "src"), os.path.join(work, "out")
    os.makedirs(src)
    os.makedirs(out)
    usage_errors()
    unwritable_output(src)
    os.makedirs(os.path.join(work, "out-bad"))
    bad_sources(src, os.path.join(work, "out-bad"))
    taken_name(src, out)
    nothing_to_convert(src, out)
    relative_paths_and_default_output(src)

for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
