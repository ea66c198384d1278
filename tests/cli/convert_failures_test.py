"""vantorel-convert when things go wrong around the messages: what a scan cannot list is
reported and makes the run exit 1; a reader that crashes costs only its file; Ctrl+C stops a
run within a second whatever a reader is doing; SIGTERM and SIGHUP stop it as Ctrl+C does, a
second signal at once without leaving a .part; readers that cannot start end the run before
any PST with the cause; parallel runs into one folder all succeed; a full disk and a PST moved
or deleted mid-run end with the true reason and no file that looks complete.

Usage: convert_failures_test.py CONVERT PST_VERIFY
Faults come from the readers' test switch VANTOREL_READER_FAULT, from a reader program that
cannot run beside a copy of the converter, and from a process limit, which binds an ordinary
user only (root ignores it).
"""
import glob
import os
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time

CONVERT = os.path.abspath(sys.argv[1])
VERIFY = os.path.abspath(sys.argv[2])
failures = []


def message(n, body=b"body\r\n"):
    return (b"From: a@example.com\r\nTo: b@example.com\r\nSubject: message %d\r\n"
            b"Date: Mon, 7 Jun 2021 10:00:00 +0000\r\n\r\n" % n) + body


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    return path


def run(args, fault=None, **kwargs):
    env = dict(os.environ)
    if fault:
        env["VANTOREL_READER_FAULT"] = fault
    return subprocess.run([CONVERT, *args], capture_output=True, text=True, env=env, **kwargs)


def check(condition, what, result=None):
    if not condition:
        detail = "" if result is None else " (exit %s)\nstdout: %s\nstderr: %s" % (
            result.returncode, result.stdout, result.stderr)
        failures.append(what + detail)


def as_from_a_terminal():
    """Stop signals as a terminal delivers them, even when the tests run under nohup or in the
    background (an ignored signal stays ignored by the converter)."""
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, signal.SIG_DFL)


def made(result):
    lines = result.stdout.strip().splitlines()
    return lines[-1] if lines else ""


def verified(pst):
    return subprocess.run([VERIFY, pst], capture_output=True).returncode == 0


def scan_skips(work):
    """Every folder, file and link the scan cannot use is named with its reason; exit 1."""
    src, out = os.path.join(work, "scan"), os.path.join(work, "scan-out")
    os.makedirs(out)
    write(os.path.join(src, "good.msg"), message(1))
    write(os.path.join(src, "locked", "hidden.msg"), message(2))
    os.chmod(os.path.join(src, "locked"), 0)
    os.mkfifo(os.path.join(src, "pipe.msg"))
    os.symlink("/dev/zero", os.path.join(src, "zero.msg"))
    os.symlink("missing.msg", os.path.join(src, "dangling.msg"))
    os.symlink("loop.msg", os.path.join(src, "loop.msg"))
    os.chmod(work, 0o755)
    os.chmod(out, 0o777)
    # As an ordinary user, for whom a locked folder is locked (root reads every folder), when
    # that user can reach the build (a clone in a private folder keeps it out).
    command = [CONVERT, "-o", out, src]
    expected = []
    if os.geteuid() == 0:
        as_nobody = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
        if subprocess.run(as_nobody + ["test", "-x", CONVERT], capture_output=True).returncode == 0:
            command = as_nobody + command
            expected.append((os.path.join(src, "locked") + "/", "the folder could not be read (Permission denied)"))
        else:
            print("note: the build is out of an ordinary user's reach; the locked folder is not tried")
    else:
        expected.append((os.path.join(src, "locked") + "/", "the folder could not be read (Permission denied)"))
    r = subprocess.run(command, capture_output=True, text=True, timeout=60)
    check(r.returncode == 1, "exit 1 when the scan skipped something", r)
    expected += [(os.path.join(src, "pipe.msg"), "not a regular file (a named pipe)"),
                 (os.path.join(src, "zero.msg"), "not a regular file (a character device)"),
                 (os.path.join(src, "dangling.msg"), "a link to something that does not exist (missing.msg)"),
                 (os.path.join(src, "loop.msg"), "a link that loops")]
    for path, reason in expected:
        check(path in r.stderr and reason in r.stderr, "skip of %s reported: %s" % (path, reason), r)
    readable = 1 if len(expected) == 5 else 2  # root reads the locked folder too
    # The four files that could not be listed count among the files, the folder by itself.
    counts = "%d of %d file(s) converted, 4 skipped" % (readable, readable + 4)
    if readable == 1:
        counts += ", 1 folder(s) not read"
    check(counts in r.stderr, "the counts add up: " + counts, r)
    check(verified(made(r)), "the PST verifies", r)
    os.chmod(os.path.join(src, "locked"), 0o700)


def reader_faults(work):
    """A crashing reader costs its file alone; Ctrl+C ends a run at once during a hang."""
    src, out = os.path.join(work, "faults"), os.path.join(work, "faults-out")
    os.makedirs(out)
    files = [write(os.path.join(src, "%d.msg" % n), message(n)) for n in range(1, 6)]
    r = run(["-o", out] + files, fault="crash:3.msg", timeout=60)
    check(r.returncode == 1, "exit 1 after a crash", r)
    check("the message could not be read: the reader stopped with signal 11" in r.stderr and files[2] in r.stderr,
          "the crash named with its file", r)
    check("4 of 5 file(s) converted, 1 skipped" in r.stderr, "every other file converted", r)
    check(verified(made(r)), "the PST verifies after a crash", r)

    env = dict(os.environ, VANTOREL_READER_FAULT="hang:3.msg")
    proc = subprocess.Popen([CONVERT, "-o", out] + files, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            env=env, preexec_fn=as_from_a_terminal)
    time.sleep(1.5)  # the first two are converted; the third never is
    # This run's own readers: other tests may run converters of the same build meanwhile.
    readers = subprocess.run(["pgrep", "-P", str(proc.pid)], capture_output=True, text=True).stdout.split()
    start = time.monotonic()
    proc.send_signal(signal.SIGINT)
    try:
        stdout, stderr = proc.communicate(timeout=10)
    except subprocess.TimeoutExpired:
        proc.kill()
        stdout, stderr = proc.communicate()
    took = time.monotonic() - start
    result = subprocess.CompletedProcess(proc.args, proc.returncode, stdout, stderr)
    check(took < 1.0, "Ctrl+C during a hang ended the run in %.2f s" % took, result)
    check("2 of 5 file(s) converted" in stderr, "what was converted is kept", result)
    check(verified(made(result)), "the stopped run's PST verifies", result)
    def running(pid):
        try:
            with open("/proc/%s/stat" % pid) as f:
                return f.read().rsplit(")", 1)[1].split()[0] != "Z"  # a zombie has ended
        except OSError:
            return False
    left = [pid for pid in readers if running(pid)]
    check(readers and not left, "no reader left running: %s of %s" % (left, readers))


def stop_signals(work):
    """SIGTERM and SIGHUP complete the PST, list every part and exit 143 and 129; a second
    signal ends the run at once with exit 3 and leaves no .part."""
    src = os.path.join(work, "signals")
    body = (b"0123456789" * 7 + b"\r\n") * 1100  # 79 KB: a few to a 1 MB part
    files = [write(os.path.join(src, "%d.msg" % n), message(n, body)) for n in range(1, 7)]

    def start(out, fault, *options):
        os.makedirs(out)
        proc = subprocess.Popen([CONVERT, "-o", out, *options] + files, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True, env=dict(os.environ, VANTOREL_READER_FAULT=fault),
                                preexec_fn=as_from_a_terminal)
        deadline = time.monotonic() + 10
        while not glob.glob(os.path.join(out, "*.pst")) and time.monotonic() < deadline:
            time.sleep(0.02)  # the first part is complete; the reader pauses on the last file
        return proc

    for sig, status in ((signal.SIGTERM, 143), (signal.SIGHUP, 129)):
        out = os.path.join(work, "signal-%d" % sig)
        proc = start(out, "pause:6.msg", "--max-size=1M")
        proc.send_signal(sig)
        r = subprocess.CompletedProcess(proc.args, proc.wait(timeout=30), *proc.communicate())
        listed = r.stdout.splitlines()
        check(r.returncode == status, "exit %d after %s" % (status, sig.name), r)
        summary = re.search(r"\n([1-5]) of 6 file\(s\) converted, ([1-5]) skipped, in %d parts, stopped on request\n"
                            % len(listed), r.stderr.replace("vantorel-convert: ", ""))
        check(summary and sum(map(int, summary.groups())) == 6 and "not converted: the run was stopped" in r.stderr,
              "the summary after %s names what was not converted" % sig.name, r)
        check(len(listed) >= 2 and sorted(listed) == sorted(glob.glob(os.path.join(out, "*"))),
              "every part listed and nothing else left after %s" % sig.name, r)
        check(all(verified(part) for part in listed), "the parts verify after %s" % sig.name, r)

    # Under nohup a closed terminal changes nothing.
    out = os.path.join(work, "nohup")
    os.makedirs(out)
    proc = subprocess.Popen([CONVERT, "-o", out] + files, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            env=dict(os.environ, VANTOREL_READER_FAULT="pause:6.msg"),
                            preexec_fn=lambda: signal.signal(signal.SIGHUP, signal.SIG_IGN))
    time.sleep(1)
    proc.send_signal(signal.SIGHUP)
    r = subprocess.CompletedProcess(proc.args, proc.wait(timeout=30), *proc.communicate())
    check(r.returncode == 0 and "6 of 6 file(s) converted" in r.stderr, "SIGHUP ignored under nohup", r)

    for first, second in ((signal.SIGTERM, signal.SIGHUP), (signal.SIGHUP, signal.SIGINT)):
        out = os.path.join(work, "twice-%d" % first)
        os.makedirs(out)
        proc = subprocess.Popen([CONVERT, "-o", out] + files, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                text=True, env=dict(os.environ, VANTOREL_READER_FAULT="hang:6.msg"),
                                preexec_fn=as_from_a_terminal)
        deadline = time.monotonic() + 10
        while not glob.glob(os.path.join(out, "*.part")) and time.monotonic() < deadline:
            time.sleep(0.02)
        time.sleep(0.3)
        proc.send_signal(first)
        proc.send_signal(second)
        r = subprocess.CompletedProcess(proc.args, proc.wait(timeout=30), *proc.communicate())
        check(r.returncode == 3 and "stopped at once; the PST file being written was removed" in r.stderr,
              "exit 3 after %s and %s" % (first.name, second.name), r)
        check(os.listdir(out) == [], "nothing left after a second signal: %s" % os.listdir(out), r)


def readers_cannot_start(work):
    """A reader program that cannot run: exit 2 with the cause, before any PST is made; and at
    any process limit no abort and no .part left."""
    bin_dir, src, out = os.path.join(work, "bin"), os.path.join(work, "unread"), os.path.join(work, "unread-out")
    os.makedirs(bin_dir)
    os.makedirs(out)
    convert = shutil.copy(CONVERT, bin_dir)  # it looks for its reader beside itself
    reader = os.path.join(bin_dir, "vantorel-reader")
    files = [write(os.path.join(src, "%d.msg" % n), message(n)) for n in range(1, 4)]
    for content, mode, cause in (
            (b"#!/bin/sh\nexit 0\n", 0o644, "the reader program %s is not executable: Permission denied" % reader),
            (b"#!/bin/sh\nexit 127\n", 0o755, "no message reader could be started: the reader program %s ended as "
                                              "it started, with exit status 127" % reader)):
        write(reader, content)
        os.chmod(reader, mode)
        r = subprocess.run([convert, "-o", out] + files, capture_output=True, text=True, timeout=60)
        check(r.returncode == 2 and r.stdout == "" and r.stderr.endswith(
            "vantorel-convert: %s; nothing was converted and no PST file was made\n" % cause), "the cause named", r)
        check(os.listdir(out) == [], "no file made without a reader: %s" % os.listdir(out), r)

    # Per mailbox: the first mailbox names its files with the cause, the others are not tried.
    store = os.path.join(work, "unread-store", "Users", "example.com")
    for box in ("a", "b"):
        write(os.path.join(store, box, "1.msg"), message(1))
    listed = os.path.join(work, "unread-skipped.tsv")
    r = subprocess.run([convert, "--per-mailbox", "-o", out, "--skipped-list", listed, store],
                       capture_output=True, text=True, timeout=60)
    with open(listed, encoding="utf-8") as f:
        reasons = [line.rstrip("\n").split("\t")[1] for line in f]
    check(r.returncode == 2 and r.stdout == "" and os.listdir(out) == [] and len(reasons) == 2
          and all(cause in reason for reason in reasons) and re.search(r"\nb@example.com +0 +1 +- +not started", r.stderr),
          "per mailbox without a reader: %s" % reasons, r)

    # Too few descriptors for a reader's pipes (the limit binds root too).
    r = subprocess.run([CONVERT, "-o", out] + files, capture_output=True, text=True, timeout=60,
                       preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (8, 8)))
    check(r.returncode == 2 and r.stderr.endswith(
        "vantorel-convert: no message reader could be started: cannot set up the reader's pipes: Too many open files "
        "(the limit on open files, ulimit -n, is reached); nothing was converted and no PST file was made\n"),
        "ulimit -n 8 named", r)
    check(os.listdir(out) == [], "no file made at ulimit -n 8: %s" % os.listdir(out), r)

    # The real limit, as an ordinary user: every count of processes allowed ends in words.
    as_nobody = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
    if os.geteuid() != 0 or subprocess.run(as_nobody + ["test", "-x", CONVERT], capture_output=True).returncode:
        print("note: no ordinary user can run the build here; the process limit is not tried")
        return
    os.chmod(work, 0o755)
    os.chmod(out, 0o777)
    for limit in range(1, 8):
        def limited(limit=limit):
            os.setgroups([])
            os.setgid(65534)
            os.setuid(65534)
            resource.setrlimit(resource.RLIMIT_NPROC, (limit, limit))
        r = subprocess.run([CONVERT, "-o", out] + files, capture_output=True, text=True, timeout=60,
                           preexec_fn=limited)
        left = os.listdir(out)
        if r.returncode == 0:
            check(len(left) == 1 and verified(made(r)), "ulimit -u %d: the PST verifies" % limit, r)
        else:
            check(r.returncode == 2 and "(the limit on processes, ulimit -u, is reached)" in r.stderr and not left,
                  "ulimit -u %d: the limit named, nothing left: %s" % (limit, left), r)
        for name in left:
            os.remove(os.path.join(out, name))


def output_file(work):
    """Parallel runs all succeed; a full disk and a moved or deleted PST give the true reason."""
    src = os.path.join(work, "outsrc")
    files = [write(os.path.join(src, "%d.msg" % n), message(n)) for n in range(1, 4)]
    together = os.path.join(work, "together")
    os.makedirs(together)
    procs = [subprocess.Popen([CONVERT, "-o", together] + files, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              text=True) for _ in range(8)]
    results = [subprocess.CompletedProcess(p.args, p.wait(), *p.communicate()) for p in procs]
    for r in results:
        check(r.returncode == 0, "a run started with seven others", r)
    names = {made(r) for r in results}
    check(len(names) == 8 and all(verified(n) for n in names), "eight runs, eight PST files: %s" % sorted(names))
    check(not glob.glob(os.path.join(together, "*.part")), "no .part left by parallel runs")

    # The .part deleted, or moved and its name taken, while a reader pauses on the last file.
    for how in ("deleted", "moved"):
        out = os.path.join(work, how)
        os.makedirs(out)
        proc = subprocess.Popen([CONVERT, "-o", out] + files, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                text=True, env=dict(os.environ, VANTOREL_READER_FAULT="pause:3.msg"))
        deadline = time.monotonic() + 10
        while not glob.glob(os.path.join(out, "*.part")) and time.monotonic() < deadline:
            time.sleep(0.05)
        parts = glob.glob(os.path.join(out, "*.part"))
        if how == "deleted":
            os.remove(parts[0])
        else:
            os.rename(parts[0], os.path.join(work, "moved-away.part"))
            write(parts[0], b"another program's file")
        r = subprocess.CompletedProcess(proc.args, proc.wait(), *proc.communicate())
        check(r.returncode == 2, "a %s PST fails the run" % how, r)
        check(not glob.glob(os.path.join(out, "*.pst")), "no PST claims to be complete after it was %s" % how, r)
        if how == "deleted":
            check("was deleted by another program" in r.stderr and ".part" not in r.stderr, "the deletion named", r)
        else:
            check("moved or renamed by another program" in r.stderr and "moved-away.part" in r.stderr,
                  "the move named, with where the file went", r)
            with open(parts[0], "rb") as f:
                check(f.read() == b"another program's file", "the file that took the name is left as it is")

    # A full disk: the run ends with the disk's own error and leaves no file behind.
    disk = os.path.join(work, "full")
    os.makedirs(disk)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", disk], capture_output=True).returncode != 0:
        print("SKIP: full disk (cannot mount a small tmpfs here)")
        return
    try:
        body = (b"0123456789" * 7 + b"\r\n") * 4000  # 288 KB of text per message
        big = [write(os.path.join(src, "big", "%d.msg" % n), message(n, body)) for n in range(40)]
        r = run(["-o", disk] + big, timeout=60)
        check(r.returncode == 2, "a full disk fails the run", r)
        check("No space left on device" in r.stderr, "the disk's own error is given", r)
        check(os.listdir(disk) == [], "nothing left on the full disk: %s" % os.listdir(disk), r)
    finally:
        subprocess.run(["umount", disk])


with tempfile.TemporaryDirectory(prefix="vantorel-cli-fail-") as work:
    scan_skips(work)
    reader_faults(work)
    stop_signals(work)
    readers_cannot_start(work)
    output_file(work)

for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
