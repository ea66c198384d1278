"""Converts the public corpus with vantorel-convert and reads the PST back with libpff
(pypff) and readpst: the folder tree mirrors the source folders, every converted message is
there, read and not unsent, and pst-verify finds nothing, not even a warning.

Usage: convert_corpus_test.py CONVERT PST_VERIFY CORPUS_DIR
       convert_corpus_test.py CONVERT PST_VERIFY --shaped
--shaped converts instead a store shaped like the content of Outlook's reference files: an
attachment, an attached message, an inline picture, 200 recipients, HTML only, an empty
subject and a message to Bcc recipients only.
Run with /usr/bin/python3, the interpreter that has pypff.
"""
import os
import re
import subprocess
import sys
import tempfile

import pypff

MSGFLAG_READ = 0x01
MSGFLAG_UNSENT = 0x08
MSGFLAG_HASATTACH = 0x10


def fail(message):
    print("FAIL:", message)
    sys.exit(1)


def source_counts(corpus):
    """(folder components below "/") -> number of message files, as the converter lists them."""
    counts = {}
    paths = []
    for folder, _, files in os.walk(corpus):
        for name in files:
            if name.strip(" ").lower().endswith(".msg"):
                path = os.path.join(folder, name)
                paths.append(path)
                key = tuple(c for c in os.path.normpath(folder).split("/") if c)
                counts[key] = counts.get(key, 0) + 1
    return counts, paths


def message_flags(message):
    for rs in range(message.get_number_of_record_sets()):
        for entry in message.get_record_set(rs).entries:
            if entry.entry_type == 0x0E07:
                return entry.get_data_as_integer()
    return None


def pst_counts(path):
    """(folder names below the top of the hierarchy) -> number of messages, via libpff."""
    f = pypff.file()
    f.open(path)
    counts = {}
    flags_seen = []

    def walk(folder, names):
        n = folder.get_number_of_sub_messages()
        if names:
            counts[tuple(names)] = n
        for i in range(n):
            flags_seen.append(message_flags(folder.get_sub_message(i)))
        for i in range(folder.get_number_of_sub_folders()):
            sub = folder.get_sub_folder(i)
            walk(sub, names + [sub.get_name()])

    root = f.get_root_folder()
    for i in range(root.get_number_of_sub_folders()):
        top = root.get_sub_folder(i)
        if top.get_name().startswith("Top of "):
            walk(top, [])
    f.close()
    return counts, flags_seen


def readpst_counts(path, workdir):
    out = os.path.join(workdir, "readpst")
    os.mkdir(out)
    # One job: readpst's parallel folder workers now and then drop a message from their output.
    result = subprocess.run(["readpst", "-j", "0", "-M", "-b", "-q", "-o", out, path], capture_output=True, text=True)
    if result.returncode != 0:
        fail("readpst failed: " + result.stderr)
    counts = {}
    for folder, _, files in os.walk(out):
        n = sum(1 for name in files if name.isdigit())
        if n:
            rel = os.path.relpath(folder, out)
            counts[tuple(rel.split(os.sep)[1:])] = n  # below the store's own folder
    return counts


HEAD = ("From: Ann Example <ann@example.com>\r\nDate: Tue, 02 Jan 2024 10:00:00 +0000\r\n"
        "X-MDaemon-Deliver-To: bob@example.com\r\nMIME-Version: 1.0\r\n")
PNG = ("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNkYPhfDwAChwGA"
       "60e6kgAAAABJRU5ErkJggg==")


def shaped_messages():
    """File name -> message text, one message for each shape of the reference files."""
    to = "To: Bob <bob@example.com>\r\n"
    many = "To: " + ",\r\n ".join("User %d <user%d@example.com>" % (i, i) for i in range(1, 201)) + "\r\n"
    return {
        "attachment.msg": HEAD + to + "Subject: Report\r\nContent-Type: multipart/mixed; boundary=m\r\n\r\n"
        "--m\r\nContent-Type: text/plain\r\n\r\nSee the report.\r\n--m\r\nContent-Type: application/pdf; "
        "name=\"Quarterly report.pdf\"\r\nContent-Disposition: attachment; filename=\"Quarterly report.pdf\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n" + "JVBERi0xLjQK" * 400 + "\r\n--m--\r\n",
        "embedded.msg": HEAD + to + "Subject: Fwd: Lunch\r\nContent-Type: multipart/mixed; boundary=m\r\n\r\n"
        "--m\r\nContent-Type: text/plain\r\n\r\nForwarded.\r\n--m\r\nContent-Type: message/rfc822\r\n\r\n"
        + HEAD + to + "Subject: Lunch\r\n\r\nAt noon?\r\n--m--\r\n",
        "inline.msg": HEAD + to + "Subject: Picture\r\nContent-Type: multipart/related; boundary=r\r\n\r\n"
        "--r\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<p>Look: <img src=\"cid:image001.png@01D78380\"></p>\r\n"
        "--r\r\nContent-Type: image/png; name=image001.png\r\nContent-ID: <image001.png@01D78380>\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n" + PNG + "\r\n--r--\r\n",
        "recipients.msg": HEAD + many + "Subject: Everyone\r\n\r\nHello all.\r\n",
        "html.msg": HEAD + to + "Subject: HTML only\r\nContent-Type: text/html; charset=utf-8\r\n\r\n"
        "<html><body><h1>News</h1><p>" + "Text &amp; more. " * 200 + "</p></body></html>\r\n",
        "nosubject.msg": HEAD + to + "Subject: \r\n\r\nNo subject here.\r\n",
        "bcc.msg": HEAD + "Bcc: bob@example.com\r\nSubject: Blind\r\n\r\nOnly Bcc.\r\n",
    }


def main():
    convert, pst_verify, corpus = sys.argv[1:4]
    if corpus == "--shaped":
        shaped = tempfile.TemporaryDirectory(prefix="vantorel-shaped-")
        corpus = os.path.join(shaped.name, "Shaped")
        os.mkdir(corpus)
        for name, text in shaped_messages().items():
            with open(os.path.join(corpus, name), "w", encoding="utf-8", newline="") as f:
                f.write(text)
    corpus = os.path.normpath(os.path.abspath(corpus))
    expected, paths = source_counts(corpus)
    with tempfile.TemporaryDirectory(prefix="vantorel-cli-") as work, \
            tempfile.TemporaryDirectory(prefix="vantorel-cli-list-") as lists:
        skipped_list = os.path.join(lists, "skipped.tsv")
        run = subprocess.run([convert, "-o", work, "--skipped-list", skipped_list, corpus],
                             capture_output=True, text=True)
        if run.returncode not in (0, 1):
            fail("exit %d: %s" % (run.returncode, run.stderr))
        pst = run.stdout.strip().splitlines()[-1]
        if not re.fullmatch(re.escape(work) + r"/Vantorel\d{1,2}\.\d{1,2}\.\d\d \d{1,2}\.\d{1,2}\.\d\d\.pst", pst):
            fail("unexpected PST path " + pst)
        if sorted(os.listdir(work)) != [os.path.basename(pst)]:
            fail("the output folder holds more than the PST: %s" % os.listdir(work))

        with open(skipped_list, encoding="utf-8") as f:
            skipped = [line.split("\t")[0] for line in f]
        if (run.returncode == 1) != bool(skipped):
            fail("exit %d with %d skipped files" % (run.returncode, len(skipped)))
        if len(skipped) > 5:
            fail("%d of %d files skipped:\n%s" % (len(skipped), len(paths), run.stderr))
        for path in skipped:
            key = tuple(c for c in os.path.dirname(path).split("/") if c)
            expected[key] -= 1
        expected = {k: v for k, v in expected.items() if v}

        counts, flags = pst_counts(pst)
        got = {k: v for k, v in counts.items() if v}
        if got != expected:
            fail("libpff folder counts differ:\n got %s\nwant %s" % (sorted(got.items()), sorted(expected.items())))
        # The whole folder chain down to the corpus exists, one folder per level.
        for depth in range(1, len(corpus.strip("/").split("/")) + 1):
            chain = tuple(corpus.strip("/").split("/")[:depth])
            if chain not in counts:
                fail("folder %s missing" % "\\".join(chain))
        if len(flags) != len(paths) - len(skipped):
            fail("%d messages in the PST, %d converted" % (len(flags), len(paths) - len(skipped)))
        for value in flags:
            if value is None or not value & MSGFLAG_READ or value & MSGFLAG_UNSENT:
                fail("message flags 0x%s" % ("none" if value is None else "%X" % value))
        if not any(v & MSGFLAG_HASATTACH for v in flags):
            fail("no message is flagged as having attachments")

        by_readpst = readpst_counts(pst, work)
        if by_readpst != expected:
            fail("readpst folder counts differ:\n got %s\nwant %s" % (sorted(by_readpst.items()), sorted(expected.items())))

        verify = subprocess.run([pst_verify, pst], capture_output=True, text=True)
        if verify.returncode != 0 or not verify.stdout.rstrip().endswith(": 0 error(s), 0 warning(s)"):
            fail("pst-verify: " + verify.stdout + verify.stderr)
    print("ok: %d messages in %d folders, %d skipped" % (len(flags), len(expected), len(skipped)))


main()
