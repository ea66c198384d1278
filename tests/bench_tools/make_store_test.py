"""make-store: reproducible output, the server's tree layout, and the promised message mix.
Usage: make_store_test.py BENCH_DIR"""
import base64
import email
import email.header
import email.policy
import email.utils
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest
from datetime import datetime, timedelta, timezone

BENCH = os.path.abspath(sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../../bench"))
sys.path.insert(0, BENCH)
from storegen import encoding, words  # noqa: E402
from storegen.pool import Pool  # noqa: E402
from storegen.rng import Rng  # noqa: E402
from storegen.message import mail_date  # noqa: E402

PATH_SHAPE = re.compile(r"^Users/[a-z0-9.-]+/[a-z0-9.]+/(?:[^/]+\.IMAP/)+md50000\d{6}\.msg$")
KB, MB = 1024, 1024 * 1024


def make_store(out, *args):
    return subprocess.run([sys.executable, os.path.join(BENCH, "make-store"), "--out", out, *args],
                          capture_output=True, text=True)


def tree_digest(root):
    entries = []
    for folder, dirs, files in os.walk(root):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                entries.append((os.path.relpath(path, root), hashlib.sha256(f.read()).hexdigest()))
    return entries


def classify(msg):
    """plain / html / attach / huge, from the MIME structure and attachment sizes."""
    ctype = msg.get_content_type()
    if ctype == "text/plain":
        return "plain"
    if ctype == "multipart/alternative":
        return "html"
    assert ctype == "multipart/mixed", ctype
    sizes = [len(p.get_payload(decode=True)) for p in msg.iter_attachments() if not p.is_multipart()
             and p.get_content_type() != "message/rfc822"]
    return "huge" if max(sizes) >= 5 * MB else "attach"


class Reproducibility(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.first = os.path.join(cls.tmp.name, "first")
        cls.second = os.path.join(cls.tmp.name, "second")
        for out in (cls.first, cls.second):
            run = make_store(out, "--messages", "50", "--seed", "7")  # four attachment messages
            assert run.returncode == 0, run.stderr

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_same_seed_gives_identical_trees(self):
        self.assertEqual(tree_digest(self.first), tree_digest(self.second))

    def test_other_seed_gives_other_messages(self):
        other = os.path.join(self.tmp.name, "other")
        self.assertEqual(make_store(other, "--messages", "50", "--seed", "43", "--small-only").returncode, 0)
        ours = {d for _, d in tree_digest(self.first)}
        self.assertFalse(ours & {d for _, d in tree_digest(other)})

    def test_tree_has_the_server_layout_and_numbered_files(self):
        by_folder = {}
        for rel, _ in tree_digest(self.first):
            if rel == "store.json":
                continue
            self.assertRegex(rel, PATH_SHAPE)
            folder, name = rel.rsplit("/", 1)
            by_folder.setdefault(folder, []).append(int(name[7:13]))
        self.assertEqual(sum(len(v) for v in by_folder.values()), 50)
        self.assertGreater(len(by_folder), 3)
        for folder, numbers in by_folder.items():
            self.assertEqual(sorted(numbers), list(range(1, len(numbers) + 1)), folder)
        self.assertFalse(os.path.exists(self.first + ".partial"))

    def test_messages_parse_and_match_the_mix(self):
        with open(os.path.join(self.first, "store.json")) as f:
            summary = json.load(f)
        found = {"plain": 0, "html": 0, "attach": 0, "huge": 0}
        charsets = set()
        for rel, _ in tree_digest(self.first):
            if rel == "store.json":
                continue
            path = os.path.join(self.first, rel)
            size = os.path.getsize(path)
            with open(path, "rb") as f:
                raw = f.read()
            self.assertNotIn(b"\n", raw.replace(b"\r\n", b""), rel)  # CRLF lines only
            msg = email.message_from_bytes(raw, policy=email.policy.default)
            for name in ("Message-ID", "Date", "From", "To", "Subject", "MIME-Version"):
                self.assertIsNotNone(msg[name], "%s lacks %s" % (rel, name))
            if "/Drafts.IMAP/" not in rel:
                self.assertIsNotNone(msg["Received"], rel)
            self.assertIsNotNone(email.utils.parsedate_to_datetime(msg["Date"]))
            for _, charset in email.header.decode_header(_raw_header(raw, b"Subject")):
                if charset:
                    charsets.add(charset)
            kind = classify(msg)
            found[kind] += 1
            if kind == "plain":
                self.assertTrue(2 * KB <= size <= 8 * KB + 512, "%s: %d bytes" % (rel, size))
            elif kind == "html":
                self.assertTrue(10 * KB <= size <= 50 * KB + 2 * KB, "%s: %d bytes" % (rel, size))
                self.assertEqual([p.get_content_type() for p in msg.iter_parts()], ["text/plain", "text/html"])
            else:
                files = [p for p in msg.iter_attachments() if p.get_content_type() != "message/rfc822"]
                self.assertTrue(1 <= len(files) <= 3, rel)
                low, high = (50 * KB, 2 * MB) if kind == "attach" else (5 * MB, 20 * MB)
                for p in files:
                    self.assertTrue(p.get_filename(), rel)
                    self.assertTrue(low <= len(p.get_payload(decode=True)) <= high, rel)
            for part in msg.walk():
                self.assertEqual(part.defects, [], rel)
        self.assertEqual(found, summary["kinds"])
        self.assertEqual(summary["messages"], 50)
        self.assertGreaterEqual(found["plain"], 25)
        self.assertGreaterEqual(found["html"], 5)
        self.assertGreaterEqual(found["attach"] + found["huge"], 1)
        self.assertTrue(charsets - {"utf-8"}, charsets)


def _raw_header(raw, name):
    """The unfolded raw text of a header, encoded-words left as they are."""
    head = raw.split(b"\r\n\r\n", 1)[0].replace(b"\r\n ", b" ").replace(b"\r\n\t", b" ")
    for line in head.split(b"\r\n"):
        if line.lower().startswith(name.lower() + b":"):
            return line.split(b":", 1)[1].strip().decode("ascii")
    raise KeyError(name)


class Options(unittest.TestCase):
    def test_small_only_large_folder_and_no_overwrite(self):
        with tempfile.TemporaryDirectory() as tmp:
            out = os.path.join(tmp, "store")
            self.assertEqual(make_store(out, "--messages", "60", "--small-only", "--large-folder", "37").returncode, 0)
            with open(os.path.join(out, "store.json")) as f:
                summary = json.load(f)
            self.assertEqual(summary["kinds"]["plain"], 60)
            self.assertEqual(summary["largest_folder"]["messages"], 37)
            before = tree_digest(out)
            again = make_store(out, "--messages", "5")
            self.assertNotEqual(again.returncode, 0)
            self.assertIn("already exists", again.stderr)
            self.assertEqual(tree_digest(out), before)

    def test_bad_arguments_are_refused(self):
        with tempfile.TemporaryDirectory() as tmp:
            for args in (["--messages", "0"], ["--messages", "5", "--large-folder", "6"]):
                run = make_store(os.path.join(tmp, "x"), *args)
                self.assertEqual(run.returncode, 2, args)
                self.assertFalse(os.path.exists(os.path.join(tmp, "x")))


class Encodings(unittest.TestCase):
    def test_encoded_words_decode_back_and_respect_the_length_limit(self):
        samples = [(t.format(n=123), c, m) for t, c, m in words.ENCODED_SUBJECTS]
        samples += [("Übergröße " * 12, "iso-8859-1", "Q"), ("会議の件について" * 6, "iso-2022-jp", "B"),
                    ("Отчёт " * 20, "utf-8", "B"), ("🍕" * 30, "utf-8", "Q")]
        for text, charset, method in samples:
            wire = encoding.encoded_words(text, charset, method)
            for word in wire.split("\r\n "):
                self.assertLessEqual(len(word), 75, word)
            decoded = str(email.header.make_header(email.header.decode_header(wire.replace("\r\n", ""))))
            self.assertEqual(decoded, text)

    def test_pooled_attachments_are_canonical_base64_of_the_exact_size(self):
        pool, rng = Pool(3, groups=1000), Rng(5)  # a small pool, so big files wrap around it
        for size in (1, 10, 56, 57, 58, 113, 114, 115, 57 * 999 + 1, 57 * 1000, 57 * 2500 + 13, 5 * MB + 1):
            wire = pool.base64_file(rng, size, b"%PDF-1.7\n")
            data = base64.b64decode(wire)
            self.assertEqual(len(data), size)
            self.assertTrue(b"%PDF-1.7\n".startswith(data[:9]) or data.startswith(b"%PDF-1.7\n"))
            self.assertEqual(wire, base64.encodebytes(data).replace(b"\n", b"\r\n"), size)

    def test_dates_match_the_standard_library(self):
        for epoch in (0, 951782400, 1420070400, 1582934400, 1609459199, 4102444800):
            for zone in (0, 60, -300, 330, 540):
                tz = timezone(timedelta(minutes=zone))
                expected = email.utils.format_datetime(datetime.fromtimestamp(epoch, tz))
                self.assertEqual(mail_date(epoch, zone), expected)


if __name__ == "__main__":
    unittest.main(verbosity=1)
