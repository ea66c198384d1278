"""vantorel-convert's exit status and messages when something is wrong: usage errors, an
output folder that cannot take the file, a taken file name, missing and garbage sources.

Usage: convert_errors_test.py CONVERT PST_VERIFY
"""
import datetime
import os
import signal
import subprocess
import sys
import tempfile
import time

CONVERT = os.path.abspath(sys.argv[1])
PST_VERIFY = os.path.abspath(sys.argv[2])
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


TRY = "Try 'vantorel-convert --help'."


def usage_errors(src, out):
    """One line naming the problem, then the hint; exit 2; and not a file made."""
    good = write(os.path.join(src, "in", "1.msg"), MESSAGE)
    fifo = os.path.join(src, "pipe.msg")
    os.mkfifo(fifo)
    missing = os.path.join(src, "in", "gone.msg")
    cases = [
        ([], "name at least one message file or folder to convert"),
        (["-o"], "option requires an argument -- 'o'"),
        (["--output"], "option '--output' requires an argument"),
        (["--bogus", good], "unrecognized option '--bogus'"),
        (["-x", good], "invalid option -- 'x'"),
        (["--help=yes"], "option '--help' doesn't allow an argument"),
        (["-o", out, "--output", out, good], "option '--output' may be given only once"),
        (["--output=", good], "option '--output' needs a non-empty value"),
        (["-o", out, good, missing], "cannot convert '%s': no such file or folder" % missing),
        (["-o", out, "/dev/null"], "cannot convert '/dev/null': not a regular file (a character device), and not a folder either"),
        (["-o", out, fifo], "cannot convert '%s': not a regular file (a named pipe), and not a folder either" % fifo),
        (["-o", out, "in\x1b[2K\nforged"], "cannot convert 'in\\x1b[2K\\nforged': no such file or folder"),
        (["--max-size=20X", good], "invalid size '20X' for '--max-size': give a number with K, M or G, such as 20G"),
        (["--max-size", "900K", good], "the size for '--max-size' must be at least 1M"),
        (["--per-mailbox", "-o", out, good, good], "'--per-mailbox' takes one PATH: the server's store, its Users folder or a domain folder"),
    ]
    before = set(os.listdir(out))
    for args, problem in cases:
        r = run(*args)
        check(r.returncode == 2 and r.stdout == "" and r.stderr == "vantorel-convert: %s\n%s\n" % (problem, TRY),
              "usage error for %s" % args, r)
    check(set(os.listdir(out)) == before, "no file made by a usage error")
    r = run("--help")
    check(r.returncode == 0 and r.stdout.startswith("Usage: vantorel-convert") and "130" in r.stdout, "--help", r)
    r = run("--vers")
    check(r.returncode == 0 and r.stdout.startswith("vantorel-convert "), "--version abbreviated", r)


def option_forms(src, work):
    """Attached, "=" and abbreviated forms; options after the paths; "--" ends the options."""
    good = write(os.path.join(src, "in", "1.msg"), MESSAGE)
    dash = write(os.path.join(src, "-o"), MESSAGE)
    forms = {"attached": lambda d: ["-o" + d, good], "equals": lambda d: ["--output=" + d, good],
             "abbreviated": lambda d: ["--out", d, good], "after": lambda d: [good, "-o", d],
             "ended": lambda d: ["-o", d, "--", dash]}
    for name, args in forms.items():
        folder = os.path.join(work, "form-" + name)
        os.makedirs(folder)
        r = run(*args(folder), cwd=src)
        made = r.stdout.strip().splitlines()[-1] if r.stdout.strip() else ""
        check(r.returncode == 0 and os.path.dirname(made) == folder, "option form " + name, r)


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


def skipped_report(src, out):
    """The first 10 skipped files on stderr with their reasons, then "and N more"; every one in the
    --skipped-list file; a name can forge no line of output."""
    good = write(os.path.join(src, "mixed", "good.msg"), MESSAGE)
    empty = write(os.path.join(src, "mixed", "empty.msg"), b"")
    evil = write(os.path.join(src, "mixed", "evil\n\x1b[2Kvantorel-convert: all fine.msg"), b"")
    garbage = [write(os.path.join(src, "mixed", "garbage%02d.msg" % i), bytes(range(256)) * 4) for i in range(11)]
    listed = os.path.join(out, "skipped.tsv")
    r = run("-o", out, "--skipped-list", listed, os.path.join(src, "mixed"))
    check(r.returncode == 1, "exit 1 with skipped files", r)
    lines = r.stderr.splitlines()
    check(all(line.startswith("vantorel-convert: ") for line in lines) and "\x1b" not in r.stderr,
          "every stderr line is the program's own", r)
    shown = [line for line in lines if line.startswith("vantorel-convert: skipped ")]
    check(len(shown) == 10 and "vantorel-convert: and 3 more; all are listed in %s" % listed in lines,
          "10 shown, then the rest counted", r)
    check("1 of 14 file(s) converted, 13 skipped" in r.stderr, "summary line", r)
    made = r.stdout.strip().splitlines()[-1] if r.stdout.strip() else ""
    check(os.path.isfile(made) and not os.path.exists(made + ".part"), "completed PST " + made, r)

    with open(listed, encoding="utf-8") as f:
        rows = dict(line.rstrip("\n").split("\t") for line in f)
    escaped = evil.replace("\n", "\\n").replace("\x1b", "\\x1b")
    check(sorted(rows) == sorted([empty, escaped] + garbage), "the list holds every skipped file: %s" % sorted(rows))
    check(all(reason for reason in rows.values()) and good not in rows, "each listed with its reason")
    r = run("-o", out, good)
    check(r.returncode == 0 and "skipped" not in r.stderr and "more" not in r.stderr, "nothing skipped", r)


def interrupted(src, out):
    """Ctrl+C: the PST file is completed with what was converted, and the exit status is 130."""
    folder = os.path.join(src, "many")
    for i in range(20000):
        write(os.path.join(folder, "b%d" % (i % 20), "%05d.msg" % i), MESSAGE)
    # Ctrl+C as a terminal delivers it, even when the tests run in the background (an ignored
    # SIGINT stays ignored by the converter).
    process = subprocess.Popen([CONVERT, "-o", out, folder], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                               preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    for line in process.stderr:
        if "converting" in line:
            time.sleep(0.2)
            process.send_signal(signal.SIGINT)
            break
    stdout, stderr = process.communicate(timeout=60)
    made = stdout.strip().splitlines()[-1] if stdout.strip() else ""
    check(process.returncode == 130 and "stopped on request" in stderr, "exit 130 after Ctrl+C: %d %s" % (process.returncode, stderr))
    verify = subprocess.run([PST_VERIFY, made], capture_output=True, text=True) if made else None
    check(verify is not None and verify.returncode == 0 and not os.path.exists(made + ".part"),
          "the stopped run's PST is complete: %s" % (verify.stdout if verify else "none"))


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
    usage_errors(src, out)
    option_forms(src, work)
    unwritable_output(src)
    os.makedirs(os.path.join(work, "out-bad"))
    skipped_report(src, os.path.join(work, "out-bad"))
    taken_name(src, out)
    nothing_to_convert(src, out)
    relative_paths_and_default_output(src)
    os.makedirs(os.path.join(work, "out-stopped"))
    interrupted(src, os.path.join(work, "out-stopped"))

for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
