"""vantorel-convert --ledger: a later run converts only what is new, changed or was skipped,
into delta PSTs, and names what is gone; a run killed mid-way and repeated converts every
message once; a ledger in use or a file that is no ledger is refused before any PST.

Usage: convert_ledger_test.py CONVERT PST_VERIFY CORPUS
"""
import glob
import os
import signal
import subprocess
import sys
import tempfile
import time

import convert_server_test as server
from convert_server_test import CONVERT, check, message, read_pst, server_index, write

SEEN = server.SEEN


def convert(*args, env=None):
    return subprocess.run([CONVERT, *args], capture_output=True, text=True, timeout=120, env=env)


def subjects(psts):
    return sorted(s for p in psts for _, ms in read_pst(p)[1].values() for s, _ in ms)


def listed_rows(path):
    with open(path, encoding="utf-8") as f:
        return dict(line.rstrip("\n").split("\t") for line in f)


def delta_runs(work):
    store, ledger = os.path.join(work, "store"), os.path.join(work, "migration.ledger")
    server.build_store(store)
    for link in ("Users/example.com/bob/dangling.msg", "Users/example.org/ghost/lost.msg"):
        os.remove(os.path.join(store, link))
    alice = os.path.join(store, "Users", "example.com", "alice")
    write(os.path.join(alice, "bad.msg"), b"")

    # A file that is not a ledger is refused and left as it was, before any PST.
    notes, out = os.path.join(work, "notes.txt"), os.path.join(work, "out0")
    write(notes, b"my notes\n")
    os.makedirs(out)
    r = convert("--per-mailbox", "--ledger", notes, "-o", out, store)
    with open(notes, "rb") as f:
        check(r.returncode == 2 and "is not a Vantorel ledger" in r.stderr and f.read() == b"my notes\n"
              and not os.listdir(out), "a foreign ledger: exit %d %s" % (r.returncode, r.stderr))

    r = convert("--ledger-restate", "--ledger", ledger, "-o", out, store)
    check(r.returncode == 2 and "give it with '--ledger' and '--keep-status'" in r.stderr and not os.path.exists(ledger),
          "--ledger-restate without --keep-status: exit %d %s" % (r.returncode, r.stderr))

    def run(n, *options):
        out = os.path.join(work, "out%d" % n)
        os.makedirs(out)
        listed = os.path.join(work, "skipped%d.tsv" % n)
        r = convert("--per-mailbox", "--keep-status", "--ledger", ledger, "--skipped-list", listed, "-o", out,
                    *options, store)
        return r, r.stdout.split("\n")[:-1], listed_rows(listed)

    r, made, _ = run(1)
    check(r.returncode == 1 and len(made) == 4 and "ledger: 17 new, 0 changed, 0 unchanged, 0 gone" in r.stderr,
          "first run: exit %d %s" % (r.returncode, r.stderr))

    # New, changed, removed, touched with the same bytes, skipped last time, a new state on the server.
    write(os.path.join(alice, "Sent.IMAP", "new.msg"), message("new"))
    write(os.path.join(store, "Users", "example.com", "bob", "b1.msg"), message("b1 changed"))
    os.remove(os.path.join(store, "Users", "example.org", "carol", "Inbox.IMAP", "c1.msg"))
    os.utime(os.path.join(alice, "seen.msg"), (1e9, 1e9))
    write(os.path.join(alice, "bad.msg"), message("bad now good"))
    states = {"seen": SEEN, "answered": SEEN | server.ANSWERED, "flagged": server.FLAGGED,
              "deleted": SEEN | server.DELETED, "draft": SEEN | server.DRAFT, "recent": SEEN}  # recent now read
    write(os.path.join(alice, "IMAP.MRK"),
          server_index([(n + ".msg", f) for n, f in states.items()] + [("casename.MSG", SEEN)]))
    r, made, rows = run(2)
    day = time.strftime("%Y-%m-%d")
    check(r.returncode == 0 and "ledger: 1 new, 1 changed, 1 skipped last time, 14 unchanged, 1 gone since the last "
          "run" in r.stderr, "delta run: exit %d %s" % (r.returncode, r.stderr))
    check([os.path.basename(p) for p in made] == ["alice@example.com (delta %s).pst" % day,
                                                   "bob@example.com (delta %s).pst" % day], "delta PSTs: %s" % made)
    check(subjects(made) == ["b1 changed", "bad now good", "new"], "delta PSTs hold %s" % subjects(made))
    gone = rows.get(os.path.join(store, "Users", "example.org", "carol", "Inbox.IMAP", "c1.msg"), "")
    check(gone == "gone since the last run (it was converted into carol@example.org.pst)", "gone: %s" % rows)
    restate = rows.get(os.path.join(alice, "recent.msg"), "")
    check("it was unread, now read" in restate and "--ledger-restate" in r.stderr, "state change: %s" % rows)

    # --ledger-restate converts the message with its new state; then nothing is left to convert.
    r, made, _ = run(3, "--ledger-restate")
    check(r.returncode == 0 and "0 new, 0 changed, 16 unchanged, 0 gone since the last run; 1 converted again"
          in r.stderr and subjects(made) == ["recent"], "restate: %s %s" % (made, r.stderr))
    if made:
        (_, messages), = [v for v in read_pst(made[0])[1].values() if v[1]]
        check(server.integer(messages[0][1], 0x0E07) & server.MSGFLAG_READ, "restated message not read")
    r, made, rows = run(4)
    check(r.returncode == 0 and not made and not rows and "nothing new or changed to convert" in r.stderr,
          "nothing left: exit %d %s %s" % (r.returncode, made, r.stderr))


def killed_and_repeated(work):
    """A run killed while a reader hangs keeps the parts it completed in the ledger; the run
    repeated converts the rest; together every message once. Meanwhile a second run on the
    same ledger is refused."""
    src, ledger = os.path.join(work, "killed"), os.path.join(work, "killed.ledger")
    body = (b"0123456789" * 7 + b"\r\n") * 1100  # 79 KB: a few to a 1 MB part
    for n in range(1, 21):
        write(os.path.join(src, "%02d.msg" % n), message("m%02d" % n, body))
    first, second, refused = (os.path.join(work, d) for d in ("kill1", "kill2", "refused"))
    for d in (first, second, refused):
        os.makedirs(d)
    proc = subprocess.Popen([CONVERT, "--max-size=1M", "--ledger", ledger, "-o", first, src], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, env=dict(os.environ, VANTOREL_READER_FAULT="hang:15.msg"))
    deadline = time.monotonic() + 20
    while not glob.glob(os.path.join(first, "*.pst")) and time.monotonic() < deadline:
        time.sleep(0.02)
    time.sleep(0.5)  # the parts before 15.msg are complete; the run waits for it
    r = convert("--max-size=1M", "--ledger", ledger, "-o", refused, src)
    check(r.returncode == 2 and "in use by another run" in r.stderr and not os.listdir(refused),
          "a busy ledger: exit %d %s" % (r.returncode, r.stderr))
    proc.send_signal(signal.SIGKILL)
    proc.wait(timeout=30)
    kept = sorted(glob.glob(os.path.join(first, "*.pst")))
    r = convert("--max-size=1M", "--ledger", ledger, "-o", second, src)
    made = r.stdout.split("\n")[:-1]
    check(r.returncode == 0 and kept and made and all("(delta " in p for p in made), "repeat: %s %s" % (made, r.stderr))
    held = subjects(kept + made)
    check(held == ["m%02d" % n for n in range(1, 21)], "killed then repeated: %d kept, hold %s" % (len(kept), held))


def main():
    with tempfile.TemporaryDirectory() as work:
        delta_runs(work)
        killed_and_repeated(work)
    for failure in server.failures:
        print("FAIL:", failure)
    return 1 if server.failures else 0


if __name__ == "__main__":
    sys.exit(main())
