"""vantorel-convert over a whole server's store: --keep-status takes each message's state from
the IMAP.MRK of its folder, --per-mailbox gives every mailbox (and Public Folders) a PST of its
own, and --max-size splits a run into parts. Every PST is read back by libpff and readpst and
passes pst-verify.

Usage: convert_server_test.py CONVERT PST_VERIFY CORPUS
"""
import os
import re
import resource
import signal
import struct
import subprocess
import sys
import tempfile
import time

import pypff

CONVERT, VERIFY, CORPUS = (os.path.abspath(a) for a in sys.argv[1:4])
failures = []

SEEN, ANSWERED, FLAGGED, DELETED, DRAFT, RECENT = 32, 16, 8, 4, 2, 1
MSGFLAG_READ, MSGFLAG_UNSENT = 0x01, 0x08


def check(condition, what):
    if not condition:
        failures.append(what)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def message(subject, body=b"body\r\n"):
    return (b"From: a@example.com\r\nTo: b@example.com\r\nSubject: %s\r\n"
            b"Date: Mon, 7 Jun 2021 10:00:00 +0000\r\n\r\n" % subject.encode()) + body


def server_index(records, version=1):
    """An IMAP.MRK: its 36-byte header, then a 36-byte record per (file name, flags)."""
    data = struct.pack("<8I", version, 77, len(records) + 1, 3, 0, 0, 0, 0) + b"\r\n\0\0"
    for uid, (name, flags) in enumerate(records, 1):
        data += name.encode().ljust(23, b"\0") + struct.pack("<BIII", flags, uid, 100, 1700000000)
    return data


def props(item):
    """Property id -> record entry, of every record set of a pypff item."""
    found = {}
    for rs in range(item.get_number_of_record_sets()):
        for entry in item.get_record_set(rs).entries:
            found.setdefault(entry.entry_type, entry)
    return found


def integer(entries, prop):
    return entries[prop].get_data_as_integer() if prop in entries else None


def read_pst(path):
    """The store's display name and {folder path: (folder entries, [(subject, message entries)])}."""
    f = pypff.file()
    f.open(path)
    name = props(f.get_message_store()).get(0x3001)
    folders = {}

    def walk(folder, names):
        if names:
            messages = []
            for i in range(folder.get_number_of_sub_messages()):
                m = folder.get_sub_message(i)
                messages.append((m.get_subject(), props(m)))
            key = "/".join(names)
            check(key not in folders, "%s holds two folders %s" % (path, key))  # one Deleted Items, say
            folders[key] = (props(folder), messages)
        for i in range(folder.get_number_of_sub_folders()):
            sub = folder.get_sub_folder(i)
            walk(sub, names + [sub.get_name()])

    root = f.get_root_folder()
    for i in range(root.get_number_of_sub_folders()):
        top = root.get_sub_folder(i)
        if top.get_name().startswith("Top of "):
            walk(top, [])
    f.close()
    return (name.get_data_as_string() if name else None), folders


def sound(pst, work):
    """pst-verify finds nothing, and readpst reads the file; the number of messages it wrote."""
    v = subprocess.run([VERIFY, pst], capture_output=True, text=True)
    check(v.returncode == 0, "pst-verify on %s: %s" % (pst, v.stdout[-2000:]))
    out = tempfile.mkdtemp(dir=work)
    r = subprocess.run(["readpst", "-D", "-j", "0", "-M", "-b", "-q", "-o", out, pst], capture_output=True, text=True)
    check(r.returncode == 0, "readpst on %s: %s" % (pst, r.stderr))
    return sum(1 for _, _, files in os.walk(out) for n in files if n.isdigit())


def build_store(root):
    """Two domains, three mailboxes and Public Folders, with the server's indexes."""
    alice = os.path.join(root, "Users", "example.com", "alice")
    states = {"seen": SEEN, "answered": SEEN | ANSWERED, "flagged": FLAGGED, "deleted": SEEN | DELETED,
              "draft": SEEN | DRAFT, "recent": RECENT}
    for name in states:
        write(os.path.join(alice, name + ".msg"), message(name))
    write(os.path.join(alice, "CaseName.msg"), message("casename"))
    write(os.path.join(alice, "norecord.msg"), message("norecord"))
    write(os.path.join(alice, "IMAP.MRK"),
          server_index([(n + ".msg", f) for n, f in states.items()] + [("casename.MSG", SEEN)]))
    write(os.path.join(alice, "Sent.IMAP", "sent.msg"), message("sent"))  # a folder without an index
    write(os.path.join(alice, "Deleted Items.IMAP", "gone.msg"), message("gone"))
    write(os.path.join(alice, "Lists.imap", "list.msg"), message("list"))
    write(os.path.join(alice, "Lists.imap", "Work.IMAP", "work.msg"), message("work"))

    bob = os.path.join(root, "Users", "example.com", "bob")
    write(os.path.join(bob, "b1.msg"), message("b1"))
    write(os.path.join(bob, "IMAP.MRK"), server_index([("b1.msg", 0)])[:50])  # truncated
    carol = os.path.join(root, "Users", "example.org", "carol")
    write(os.path.join(carol, "Inbox.IMAP", "c1.msg"), message("c1"))
    write(os.path.join(carol, "Inbox.IMAP", "imap.mrk"), server_index([("c1.msg", 0)], version=7))

    # Found by the scan but not convertible: in a mailbox that has messages, and in one that has none.
    os.symlink("missing.msg", os.path.join(bob, "dangling.msg"))
    os.makedirs(os.path.join(root, "Users", "example.org", "ghost"))
    os.symlink("missing.msg", os.path.join(root, "Users", "example.org", "ghost", "lost.msg"))

    public = os.path.join(root, "Public Folders")
    write(os.path.join(public, "notice.msg"), message("notice"))
    write(os.path.join(public, "News.IMAP", "news.msg"), message("news"))


def per_mailbox_with_status(work):
    store, out = os.path.join(work, "store"), os.path.join(work, "out")
    build_store(store)
    os.makedirs(out)
    write(os.path.join(out, "bob@example.com.pst"), b"someone else's file")
    r = subprocess.run([CONVERT, "--per-mailbox", "--keep-status", "-o", out, store],
                       capture_output=True, text=True, timeout=120)
    check(r.returncode == 1, "per-mailbox run exit %d (two dangling links): %s" % (r.returncode, r.stderr))
    made = r.stdout.split("\n")[:-1]
    names = ["alice@example.com.pst", "bob@example.com (2).pst", "carol@example.org.pst", "Public Folders.pst"]
    check([os.path.basename(p) for p in made] == names, "PSTs made: %s" % made)
    with open(os.path.join(out, "bob@example.com.pst"), "rb") as f:
        check(f.read() == b"someone else's file", "an existing PST was overwritten")
    for address in ("alice@example.com", "bob@example.com", "carol@example.org"):
        check(("%s: converting" % address) in r.stderr, "no progress line for %s" % address)
    table = {line.split()[0]: line.split()[1:3] for line in r.stderr.splitlines()[-5:]}
    check(table.get("mailbox") == ["messages", "skipped"] and table.get("alice@example.com") == ["12", "0"]
          and table.get("bob@example.com") == ["1", "1"], "summary table: %s" % r.stderr)
    check("lost.msg: a link to something that does not exist" in r.stderr, "a skip outside the mailboxes converted")
    check(r.stderr.count("cannot be used") == 2 and os.path.join(store, "Users", "example.com", "bob", "IMAP.MRK")
          in r.stderr and "unknown version 7" in r.stderr, "damaged indexes not named once each: %s" % r.stderr)
    check("1 marked deleted on the server" in r.stderr, "deleted messages not counted: %s" % r.stderr)

    expected = {
        "alice@example.com": {"Inbox": 8, "Sent": 1, "Deleted Items": 1, "Lists": 1, "Lists/Work": 1},
        "bob@example.com": {"Inbox": 1},
        "carol@example.org": {"Inbox": 1},
        "Public Folders": {"Public Folders": 1, "News": 1},
    }
    read = {}
    for path, (store_name, want) in zip(made, expected.items()):
        name, folders = read_pst(path)
        read[store_name] = folders
        check(name == store_name, "%s: store named %r" % (path, name))
        counts = {k: len(v[1]) for k, v in folders.items() if v[1] or k in want}
        check(counts == want, "%s: folders %s, expected %s" % (store_name, counts, want))
        check(sound(path, work) == sum(want.values()), "readpst count of %s" % path)

    inbox_props, inbox = read["alice@example.com"]["Inbox"]
    inbox = dict(inbox)
    flags = {s: integer(m, 0x0E07) for s, m in inbox.items()}
    unread = sorted(s for s, f in flags.items() if not f & MSGFLAG_READ)
    check(unread == ["flagged", "norecord", "recent"], "unread in alice's Inbox: %s" % unread)
    check(integer(inbox_props, 0x3603) == 3 and integer(inbox_props, 0x3602) == 8,
          "alice's Inbox counts unread %s of %s" % (integer(inbox_props, 0x3603), integer(inbox_props, 0x3602)))
    check(flags["draft"] & MSGFLAG_UNSENT and not flags["seen"] & MSGFLAG_UNSENT, "draft flags %s" % flags)
    answered, flagged = inbox["answered"], inbox["flagged"]
    check(integer(answered, 0x1081) == 102 and integer(answered, 0x1080) == 0x105,
          "answered: verb %s icon %s" % (integer(answered, 0x1081), integer(answered, 0x1080)))
    check(integer(flagged, 0x1090) == 2 and integer(flagged, 0x1095) == 6 and integer(flagged, 0x0E2B) == 1,
          "flagged: status %s icon %s" % (integer(flagged, 0x1090), integer(flagged, 0x1095)))
    check(integer(inbox["seen"], 0x1090) is None and integer(inbox["seen"], 0x1081) is None,
          "a seen message got a flag or a verb")
    sent_props, sent = read["alice@example.com"]["Sent"]
    check(integer(sent_props, 0x3603) == 1, "a folder without an index is not unread")
    for store_name in ("bob@example.com", "carol@example.org"):
        (_, messages), = [v for v in read[store_name].values() if v[1]]
        check(all(integer(m, 0x0E07) & MSGFLAG_READ for _, m in messages),
              "%s: a damaged index did not leave its messages read" % store_name)

    # Without --keep-status every message is read, as before.
    plain_out = os.path.join(work, "plain")
    os.makedirs(plain_out)
    r = subprocess.run([CONVERT, "-o", plain_out, os.path.join(store, "Users", "example.com", "alice")],
                       capture_output=True, text=True, timeout=120)
    _, folders = read_pst(r.stdout.strip())
    all_flags = [integer(m, 0x0E07) for _, ms in folders.values() for _, m in ms]
    check(len(all_flags) == 12 and all(f & MSGFLAG_READ for f in all_flags), "without --keep-status: %s" % all_flags)


def index_faults(work):
    """--keep-status where an IMAP.MRK is damaged or no file at all: each is named in one warning and
    its folder stored as read, without borrowing the records of the folder before it; and a
    folder name in Windows-1252, as a store copied from the server keeps it."""
    store, out = os.path.join(work, "faults"), os.path.join(work, "faults-out")
    os.makedirs(out)
    for name in ("a", "b", "c", "d", "e", "f", "g", "Entw\xfcrfe"):
        write(os.path.join(store.encode(), name.encode("latin-1"), b"m.msg"), message(name))
    write(os.path.join(store, "b", "n.msg"), message("b2"))
    write(os.path.join(store, "a", "IMAP.MRK"), server_index([("m.msg", SEEN | FLAGGED)]))
    write(os.path.join(store, "b", "IMAP.MRK"), server_index([]))
    os.truncate(os.path.join(store, "b", "IMAP.MRK"), 3000000024)  # sparse: 3 GB of nothing
    os.makedirs(os.path.join(store, "c", "IMAP.MRK"))
    os.mkfifo(os.path.join(store, "d", "IMAP.MRK"))
    os.symlink("/dev/null", os.path.join(store, "e", "IMAP.MRK"))
    write(os.path.join(work, "outside", "IMAP.MRK"), server_index([("m.msg", 0)]))
    os.symlink("../../outside/IMAP.MRK", os.path.join(store, "f", "IMAP.MRK"))
    os.symlink("../a/IMAP.MRK", os.path.join(store, "g", "IMAP.MRK"))  # inside the store: followed

    r = subprocess.run([CONVERT, "--keep-status", "-o", out, store], capture_output=True, text=True, timeout=120)
    check(r.returncode == 0, "index faults run exit %d: %s" % (r.returncode, r.stderr))
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss * 1024
    check(peak < 1 << 30, "a sparse index of 3 GB took %d bytes of memory" % peak)
    outside = os.path.realpath(os.path.join(work, "outside", "IMAP.MRK"))
    problems = {"b": "it is damaged (3000000024 bytes make 83333333 records, more than its header's next UID 1 allows)",
                "c": "it is a folder, not a file", "d": "it is a named pipe, not a file",
                "e": "it is a link to /dev/null, outside the store, and is not followed",
                "f": "it is a link to %s, outside the store, and is not followed" % outside}
    check(r.stderr.count("cannot be used") == len(problems), "index warnings: %s" % r.stderr)
    for folder, problem in problems.items():
        index = os.path.join(store, folder, "IMAP.MRK")
        check("warning: %s cannot be used: %s; the messages of %s are stored as read"
              % (index, problem, os.path.dirname(index)) in r.stderr, "no warning for %s: %s" % (index, r.stderr))

    _, folders = read_pst(r.stdout.strip())
    state = {}
    for path, (_, messages) in folders.items():
        for subject, entries in messages:
            flags = integer(entries, 0x0E07)
            state[subject] = ("read" if flags & MSGFLAG_READ else "unread") + (
                " flagged" if integer(entries, 0x1090) == 2 else "")
            check(path.split("/")[-1] == ("Entw\u00fcrfe" if subject.startswith("Entw") else subject[0]),
                  "%s is in the folder %r" % (subject, path))
    want = {"a": "read flagged", "g": "read flagged", "Entw\u00fcrfe": "unread"}
    want.update((s, "read") for s in ("b", "b2", "c", "d", "e", "f"))
    check(state == want, "states %s, expected %s" % (state, want))

    # A mailbox name in Windows-1252 names its PST and the store inside it.
    mailbox = os.path.join(work.encode(), b"latin", b"Users", b"example.com", b"j\xfcrgen", b"x.msg")
    write(mailbox, message("x"))
    r = subprocess.run([CONVERT, "--per-mailbox", "-o", out, os.path.join(work, "latin")],
                       capture_output=True, text=True, errors="replace", timeout=120)
    made = r.stdout.split("\n")[:-1]
    check(r.returncode == 0 and [os.path.basename(p) for p in made] == ["j\u00fcrgen@example.com.pst"],
          "Windows-1252 mailbox: exit %d, %s" % (r.returncode, made))
    if made and os.path.exists(made[0]):
        name, folders = read_pst(made[0])
        check(name == "j\u00fcrgen@example.com" and len(folders.get("Inbox", (0, []))[1]) == 1,
              "store %r: %s" % (name, list(folders)))
def per_mailbox_names_and_links(work):
    """Names that read alike stay apart, a backslash stays in its name, a linked mailbox is
    converted and a link that loops or leads back into the store is named as not converted."""
    store, out, elsewhere = (os.path.join(work, n) for n in ("names", "names-out", "elsewhere"))
    users = os.path.join(store, "Users")
    write(os.path.join(users, "b", "c@a", "1.msg"), message("one"))
    write(os.path.join(users, "a@b", "c", "2.msg"), message("two"))
    write(os.path.join(users, "example.com", "back\\slash", "3.msg"), message("three"))
    write(os.path.join(users, "example.com", "alice", "x\\y.IMAP", "4.msg"), message("four"))
    write(os.path.join(users, "example.com", "alice", "x.IMAP", "y.IMAP", "5.msg"), message("five"))
    write(os.path.join(elsewhere, "linked", "6.msg"), message("six"))
    os.symlink(os.path.join(elsewhere, "linked"), os.path.join(users, "example.com", "linked"))
    os.symlink("../..", os.path.join(users, "example.com", "loop"))
    os.symlink("alice", os.path.join(users, "example.com", "alias"))
    os.makedirs(out)
    listed = os.path.join(work, "names-skipped.tsv")
    r = subprocess.run([CONVERT, "--per-mailbox", "-o", out, "--skipped-list", listed, store],
                       capture_output=True, text=True, timeout=120)
    check(r.returncode == 1, "names run exit %d (two links not followed): %s" % (r.returncode, r.stderr))
    stand = "\uff3c"
    made = {os.path.basename(p): read_pst(p) for p in r.stdout.split("\n")[:-1]}
    counts = {name: {k: len(v[1]) for k, v in folders.items() if v[1]} for name, (_, folders) in made.items()}
    check(counts == {"c@a@b.pst": {"Inbox": 1}, "c@a@b (2).pst": {"Inbox": 1},
                     "alice@example.com.pst": {"x%sy" % stand: 1, "x/y": 1},
                     "back%sslash@example.com.pst" % stand: {"Inbox": 1},
                     "linked@example.com.pst": {"Inbox": 1}}, "PSTs and their folders: %s" % counts)
    check(made.get("c@a@b (2).pst", [None])[0] == "c@a@b (2)", "the second store's name: %s" % made.keys())
    with open(listed, encoding="utf-8") as f:
        rows = dict(line.rstrip("\n").split("\t") for line in f)
    link = os.path.join(users, "example.com", "%s") + "/"
    check(rows.get(link % "loop", "").startswith("not converted: a link back to %s, which holds the link itself" % store)
          and rows.get(link % "alias") == "not converted: a link to %s, which lies inside the store already"
          % os.path.join(users, "example.com", "alice") and len(rows) == 2, "links not followed: %s" % rows)
    check(("skipped %s" % (link % "loop")) in r.stderr, "the loop not named on stderr: %s" % r.stderr)


def per_mailbox_stopped(work):
    """Ctrl+C during a mailbox: it leaves no empty PST, the mailboxes after it are listed as not
    started, and every file of either is named."""
    store, out = os.path.join(work, "stopped"), os.path.join(work, "stopped-out")
    domain = os.path.join(store, "Users", "example.com")
    write(os.path.join(domain, "a", "a1.msg"), message("a1"))
    write(os.path.join(domain, "b", "b1.msg"), message("b1"))
    write(os.path.join(domain, "b", "b2.msg"), message("b2"))
    write(os.path.join(domain, "c", "c1.msg"), message("c1"))
    os.makedirs(out)
    listed = os.path.join(work, "stopped-skipped.tsv")
    proc = subprocess.Popen([CONVERT, "--per-mailbox", "-o", out, "--skipped-list", listed, store],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            env=dict(os.environ, VANTOREL_READER_FAULT="hang:/b/b1.msg"))
    deadline = time.monotonic() + 20
    while not any(n.startswith("b@") for n in os.listdir(out)) and time.monotonic() < deadline:
        time.sleep(0.05)
    time.sleep(0.3)
    proc.send_signal(signal.SIGINT)
    stdout, stderr = proc.communicate(timeout=30)
    check(proc.returncode == 130, "stopped per-mailbox run exit %d: %s" % (proc.returncode, stderr))
    check(sorted(os.listdir(out)) == ["a@example.com.pst"], "files left: %s" % os.listdir(out))
    table = {line.split()[0]: line.split()[1:] for line in stderr.splitlines()[-4:]}
    check(table.get("b@example.com") == ["0", "2", "-", "not", "completed:", "stopped", "before", "its", "first",
                                         "message"] and table.get("c@example.com") == ["0", "1", "-", "not", "started"],
          "summary table: %s" % stderr)
    with open(listed, encoding="utf-8") as f:
        rows = dict(line.rstrip("\n").split("\t") for line in f)
    names = ("b/b1.msg", "b/b2.msg", "c/c1.msg")
    check(rows == {os.path.join(domain, n): "not converted: the run was stopped" for n in names},
          "files not converted: %s" % rows)
    check(all(("skipped %s: not converted: the run was stopped" % os.path.join(domain, n)) in stderr for n in names),
          "not named on stderr: %s" % stderr)


def per_mailbox_pst_not_made(work):
    """A mailbox whose PST cannot be made costs its own files, which are named; the others are
    converted."""
    store, out = os.path.join(work, "notmade"), os.path.join(work, "notmade-out")
    domain = os.path.join(store, "Users", "example.com")
    write(os.path.join(domain, "a", "a1.msg"), message("a1"))
    write(os.path.join(domain, "b", "b1.msg"), message("b1"))
    os.makedirs(out)
    for n in range(1, 10000):  # every name the PST could take is taken
        os.symlink("nowhere", os.path.join(out, "b@example.com%s.pst" % ("" if n == 1 else " (%d)" % n)))
    listed = os.path.join(work, "notmade-skipped.tsv")
    r = subprocess.run([CONVERT, "--per-mailbox", "-o", out, "--skipped-list", listed, store],
                       capture_output=True, text=True, timeout=120)
    check(r.returncode == 2 and r.stdout == os.path.join(out, "a@example.com.pst") + "\n",
          "exit %d, made %s" % (r.returncode, r.stdout))
    with open(listed, encoding="utf-8") as f:
        rows = dict(line.rstrip("\n").split("\t") for line in f)
    check(list(rows) == [os.path.join(domain, "b", "b1.msg")] and rows[os.path.join(domain, "b", "b1.msg")]
          .startswith("not converted: its PST file could not be created (Every name from "), "named: %s" % rows)
    row = [line.split()[:9] for line in r.stderr.splitlines() if line.startswith("b@example.com ")]
    check(row == [["b@example.com", "0", "1", "-", "not", "completed:", "the", "PST", "file"]] and
          "could not be created: Every name" in r.stderr, "summary row: %s" % r.stderr[-600:])


def max_size(work):
    out = os.path.join(work, "parts")
    big = os.path.join(work, "big", "big.msg")
    write(big, message("big", os.urandom(1 << 20).hex().encode()))  # 4 MB as the PST's UTF-16
    os.makedirs(out)
    limit = 3 << 20
    r = subprocess.run([CONVERT, "--max-size", "3M", "-o", out, CORPUS, os.path.dirname(big)],
                       capture_output=True, text=True, timeout=120)
    check(r.returncode == 1, "max-size run exit %d (the corpus has two files that are not mail)" % r.returncode)
    parts = r.stdout.split("\n")[:-1]
    first = parts[0][:-len(".pst")] if parts else ""
    check(len(parts) >= 4 and parts[1:] == ["%s (part %d).pst" % (first, n) for n in range(2, len(parts) + 1)],
          "parts: %s" % parts)
    check("alone is larger than the size limit" in r.stderr, "no warning for the message larger than the limit")
    total = 0
    for part in parts:
        _, folders = read_pst(part)
        subjects = [s for _, ms in folders.values() for s, _ in ms]
        total += len(subjects)
        size = os.path.getsize(part)
        check(size <= limit or len(subjects) == 1, "%s is %d bytes, over the limit" % (part, size))
        check(sound(part, work) == len(subjects), "readpst count of %s" % part)
    check(total == 399 and "399 of 401 file(s) converted" in r.stderr, "parts hold %d messages: %s" % (total, r.stderr))


def shards(work):
    """Three jobs given --shard 1/3 to 3/3 convert every mailbox of the store once between them."""
    store = os.path.join(work, "store")
    made = []
    for k in (1, 2, 3):
        out = os.path.join(work, "shard%d" % k)
        os.makedirs(out)
        r = subprocess.run([CONVERT, "--per-mailbox", "--shard", "%d/3" % k, "-o", out, store],
                           capture_output=True, text=True, timeout=120)
        made += [os.path.basename(p) for p in r.stdout.split("\n")[:-1]]
    check(sorted(made) == sorted(["alice@example.com.pst", "bob@example.com.pst", "carol@example.org.pst",
                                  "Public Folders.pst"]), "shards made %s" % made)
    for args in (["--shard", "1/3", store], ["--per-mailbox", "--shard", "4/3", store]):
        r = subprocess.run([CONVERT] + args, capture_output=True, text=True, timeout=60)
        check(r.returncode == 2 and "shard" in r.stderr, "%s: exit %d %s" % (args, r.returncode, r.stderr))
def max_size_long_name_disk_full(work):
    """A part's name too long for the file system is shortened; when the disk fills in a later
    part, the mailbox is not completed, its count is what the kept parts hold, and every other
    message is named."""
    store, out = os.path.join(work, "long"), os.path.join(work, "long-out")
    mailbox = "m" * 230
    folder = os.path.join(store, "Users", "example.com", mailbox)
    body = (b"0123456789" * 7 + b"\r\n") * 1500  # 110 KB
    for n in range(24):
        write(os.path.join(folder, "%02d.msg" % n), message("m%02d" % n, body))
    os.makedirs(out)
    full = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=2m", "tmpfs", out], capture_output=True).returncode == 0
    if not full:
        print("note: cannot mount a small tmpfs here; the full disk is not tried")
    try:
        listed = os.path.join(work, "long-skipped.tsv")
        r = subprocess.run([CONVERT, "--per-mailbox", "--max-size", "1M", "-o", out, "--skipped-list", listed, store],
                           capture_output=True, text=True, timeout=120)
        parts = r.stdout.split("\n")[:-1]
        address = mailbox + "@example.com"
        names = [address + ".pst"] + ["%s (part %d).pst" % (address[:237], n) for n in range(2, len(parts) + 1)]
        check(len(parts) >= 2 and [os.path.basename(p) for p in parts] == names, "parts: %s %s" % (parts, r.stderr))
        held = [s for p in parts for _, ms in read_pst(p)[1].values() for s, _ in ms]
        with open(listed, encoding="utf-8") as f:
            rows = dict(line.rstrip("\n").split("\t") for line in f)
        named = sorted(os.path.basename(p)[:-len(".msg")] for p in rows)
        check(sorted(held + ["m" + n for n in named]) == ["m%02d" % n for n in range(24)],
              "held %s, named %s" % (held, named))
        row = [line.split() for line in r.stderr.splitlines() if line.startswith(address + " ")]
        if full:
            check(r.returncode == 2 and held and len(held) < 24, "full disk exit %d, %d held" % (r.returncode, len(held)))
            check(row and row[0][1:3] == [str(len(held)), str(24 - len(held))] and row[0][3:6] == ["-", "not", "completed:"],
                  "summary row: %s" % r.stderr)
            check("%d of 24 file(s) converted, %d skipped" % (len(held), 24 - len(held)) in r.stderr, "count line")
            check(all("No space left on device" in reason for reason in rows.values()), "reasons: %s" % rows)
        else:
            check(r.returncode == 0 and len(held) == 24, "long name run exit %d: %s" % (r.returncode, r.stderr))
    finally:
        if full:
            subprocess.run(["umount", out])


def jobs_side_by_side(work):
    """--jobs 2 converts two mailboxes at a time into the PSTs, folders, messages and states of a
    run of one at a time, with the same table, skipped list and exit status; a stop completes
    each PST being written and lists the mailboxes not started."""
    store = os.path.join(work, "jobs")
    build_store(store)
    for n, name in enumerate(("dave", "erin", "frank", "grace")):
        box = os.path.join(store, "Users", "example.net", name)
        for i in range(n + 2):
            write(os.path.join(box, "in%d.msg" % i), message("%s %d" % (name, i)))
        write(os.path.join(box, "Archive.IMAP", "2020.IMAP", "old.msg"), message(name + " old"))
        write(os.path.join(box, "IMAP.MRK"), server_index([("in0.msg", SEEN | FLAGGED)]))
    runs = {}
    for jobs in (1, 2):
        out, listed = os.path.join(work, "jobs%d-out" % jobs), os.path.join(work, "jobs%d.tsv" % jobs)
        os.makedirs(out)
        r = subprocess.run([CONVERT, "--per-mailbox", "--keep-status", "--jobs", str(jobs), "-o", out,
                            "--skipped-list", listed, store], capture_output=True, text=True, timeout=120)
        made = r.stdout.split("\n")[:-1]
        check(len(set(made)) == len(made), "--jobs %d listed a PST twice: %s" % (jobs, made))
        psts = {}
        for path in made:
            _, folders = read_pst(path)
            psts[os.path.basename(path)] = {k: sorted((s, integer(m, 0x0E07)) for s, m in v[1])
                                            for k, v in folders.items()}
        lines = r.stderr.splitlines()
        header = max((i for i, line in enumerate(lines) if line.startswith("mailbox ")), default=len(lines))
        table = [re.sub(r" [0-9.]+ [KMG]B ", " ", " ".join(line.replace(out, "OUT").split()))
                 for line in lines[header:]]
        with open(listed, encoding="utf-8") as f:
            runs[jobs] = (r.returncode, psts, table, f.read())
        if jobs == 2:
            for address in ("alice@example.com", "dave@example.net", "grace@example.net"):
                check(("%s: converting" % address) in r.stderr, "no start line for %s: %s" % (address, r.stderr))
            check("vantorel-convert: alice@example.com: 12/12 files" in r.stderr
                  and "grace@example.net: 6 of 6 file(s) converted" in r.stderr, "progress lines: %s" % r.stderr)
    for part, what in enumerate(("exit status", "PSTs, folders and messages", "summary table", "skipped list")):
        check(runs[1][part] == runs[2][part], "--jobs 2 against --jobs 1, %s: %s against %s"
              % (what, runs[2][part], runs[1][part]))
    check(runs[1][0] == 1 and len(runs[1][1]) == 8 and len(runs[1][2]) == 9, "--jobs 1: %s" % (runs[1],))

    # Stopped while two mailboxes wait on their readers: both PSTs are completed (one with the
    # message before, one not made for want of any) and the third mailbox is not started.
    store, out = os.path.join(work, "jobs-stop"), os.path.join(work, "jobs-stop-out")
    domain = os.path.join(store, "Users", "example.com")
    for name in ("a/a1.msg", "b/b1.msg", "b/b2.msg", "c/c1.msg"):
        write(os.path.join(domain, name), message(name))
    os.makedirs(out)
    listed = os.path.join(work, "jobs-stop.tsv")
    proc = subprocess.Popen([CONVERT, "--per-mailbox", "--jobs", "2", "-o", out, "--skipped-list", listed, store],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            env=dict(os.environ, VANTOREL_READER_FAULT="hang:/a/a1.msg,hang:/b/b2.msg"))
    deadline = time.monotonic() + 20
    while len(os.listdir(out)) < 2 and time.monotonic() < deadline:
        time.sleep(0.05)
    time.sleep(1)
    proc.send_signal(signal.SIGINT)
    stdout, stderr = proc.communicate(timeout=30)
    check(proc.returncode == 130 and stdout == os.path.join(out, "b@example.com.pst") + "\n",
          "stopped --jobs 2 run: exit %d, made %s: %s" % (proc.returncode, stdout, stderr))
    check(sorted(os.listdir(out)) == ["b@example.com.pst"], "files left: %s" % os.listdir(out))
    table = {line.split()[0]: line.split()[1:] for line in stderr.splitlines()[-3:]}
    check(table.get("a@example.com", [])[:7] == ["0", "1", "-", "not", "completed:", "stopped", "before"]
          and table.get("b@example.com", [])[:2] == ["1", "1"]
          and table.get("b@example.com", [])[-1:] == [os.path.join(out, "b@example.com.pst")]
          and table.get("c@example.com") == ["0", "1", "-", "not", "started"], "stopped summary: %s" % stderr)
    with open(listed, encoding="utf-8") as f:
        rows = f.read().splitlines()
    names = ("a/a1.msg", "b/b2.msg", "c/c1.msg")
    check(rows == ["%s\tnot converted: the run was stopped" % os.path.join(domain, n) for n in names],
          "files not converted: %s" % rows)
    check(all(("%s@example.com: stopping on Ctrl+C" % m) in stderr for m in "ab"), "stop lines: %s" % stderr)

    # A second signal removes the unfinished PST of every job.
    out = os.path.join(work, "jobs-twice-out")
    os.makedirs(out)
    proc = subprocess.Popen([CONVERT, "--per-mailbox", "--jobs", "2", "-o", out, store], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, env=dict(os.environ, VANTOREL_READER_FAULT="hang:1.msg"))
    deadline = time.monotonic() + 20
    while len(os.listdir(out)) < 2 and time.monotonic() < deadline:
        time.sleep(0.05)
    time.sleep(0.3)
    proc.send_signal(signal.SIGTERM)
    proc.send_signal(signal.SIGINT)
    stdout, stderr = proc.communicate(timeout=30)
    check(proc.returncode == 3 and "the PST files being written were removed" in stderr and os.listdir(out) == [],
          "second signal with --jobs 2: exit %d, left %s: %s" % (proc.returncode, os.listdir(out), stderr))
    for args in (["--jobs", "2", store], ["--per-mailbox", "--jobs", "0", store]):
        r = subprocess.run([CONVERT] + args, capture_output=True, text=True, timeout=60)
        check(r.returncode == 2 and "'--jobs'" in r.stderr, "%s: exit %d %s" % (args, r.returncode, r.stderr))


def main():
    with tempfile.TemporaryDirectory() as work:
        index_faults(work)  # first: its memory check reads the peak of every run so far
        per_mailbox_with_status(work)
        shards(work)
        jobs_side_by_side(work)
        per_mailbox_names_and_links(work)
        per_mailbox_stopped(work)
        per_mailbox_pst_not_made(work)
        max_size(work)
        max_size_long_name_disk_full(work)
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
