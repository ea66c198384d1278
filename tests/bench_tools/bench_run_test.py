"""bench/run end to end with a stand-in converter that drops an Outlook-made PST holding one
message, so the harness's counting, checks and record are tested without the real converter.
Usage: bench_run_test.py BENCH_DIR BUILD_DIR TEST_DATA"""
import json
import os
import stat
import subprocess
import sys
import tempfile
import unittest

BENCH, BUILD, TEST_DATA = (os.path.abspath(a) for a in sys.argv[1:4])
del sys.argv[1:4]
ONE_MESSAGE_PST = os.path.join(TEST_DATA, "reference-pst", "sample1.pst")


def script(folder, name, body):
    path = os.path.join(folder, name)
    with open(path, "w") as f:
        f.write("#!/bin/sh\n" + body + "\n")
    os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR)
    return path


class BenchRun(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name
        # The stand-in checks it was called as `vantorel-convert -o DIR STORE` and reports as it does.
        self.converter = script(self.dir, "convert",
                                '[ "$1" = -o ] && [ -d "$2" ] && [ -d "$3" ] || exit 9\n'
                                'cp "%s" "$2/Vantorel7.6.12 21.5.04.pst"\n'
                                'echo "vantorel-convert: 1 of 1 file(s) converted" >&2' % ONE_MESSAGE_PST)

    def tearDown(self):
        self.tmp.cleanup()

    def store(self, messages):
        out = os.path.join(self.dir, "store%d" % messages)
        subprocess.run([sys.executable, os.path.join(BENCH, "make-store"), "--out", out, "--messages",
                        str(messages), "--small-only"], check=True, capture_output=True)
        return out

    def run_bench(self, store, converter, *extra):
        return subprocess.run([sys.executable, os.path.join(BENCH, "run"), store, "--build", BUILD,
                               "--converter", converter, "--work", os.path.join(self.dir, "work"), *extra],
                              capture_output=True, text=True)

    def test_counts_are_recorded_and_checked_folder_by_folder(self):
        record = os.path.join(self.dir, "RESULTS.md")
        run = self.run_bench(self.store(1), self.converter, "--record", record, "--label", "small run")
        self.assertIn("messages read back by readpst  1", run.stdout)
        # The stand-in's one message sits in a folder of its own: equal totals are not enough.
        self.assertEqual(run.returncode, 1, run.stdout + run.stderr)
        self.assertIn(".IMAP: 1 in the store, 0 read back", run.stdout)
        self.assertIn("largest folder, read back      1 in the store; readpst 0", run.stdout)
        self.assertIn("0 error(s)", run.stdout)
        self.assertIn("converter's own count          1 of 1 file(s) converted", run.stdout)
        with open(record) as f:
            text = f.read()
        self.assertIn(": small run", text)
        self.assertRegex(text, r"- commit: [0-9a-f]{7}")
        self.assertIn("| convert / cp -r |", text)
        self.assertEqual(os.listdir(os.path.join(self.dir, "work")), [])  # scratch removed

    def test_lost_messages_fail_the_run_and_name_the_folders(self):
        run = self.run_bench(self.store(3), self.converter)
        self.assertEqual(run.returncode, 1)
        self.assertIn("PROBLEM: readpst read 1 messages back, the store holds 3", run.stdout)
        self.assertIn(".IMAP: ", run.stdout)

    def test_libpff_read_back_counts_and_compares_attachments(self):
        run = self.run_bench(self.store(3), self.converter, "--libpff", "--attachments")
        self.assertEqual(run.returncode, 1)
        self.assertIn("PROBLEM: libpff read 1 messages back, the store holds 3", run.stdout)
        self.assertIn("attachment sizes compared", run.stdout)

    def test_libpff_counts_alone_match_the_full_read(self):
        def read(*extra):
            done = subprocess.run(["/usr/bin/python3", os.path.join(BENCH, "libpff-readback"), ONE_MESSAGE_PST,
                                   *extra], capture_output=True, text=True)
            if "pypff is missing" in done.stderr:
                self.skipTest("pypff is not installed")
            self.assertEqual(done.returncode, 0, done.stderr)
            result = json.loads(done.stdout)
            return result["messages"], result["folders"]
        self.assertEqual(read("--counts-only"), read())

    def test_attachment_sizes_are_the_decoded_file_parts(self):
        sys.path.insert(0, BENCH)
        from benchrun import attachments
        raw = (b"Message-ID: <a@b>\r\nContent-Type: multipart/mixed; boundary=x\r\n\r\n--x\r\n"
               b"Content-Type: text/plain\r\n\r\nbody\r\n--x\r\nContent-Type: application/pdf; name=r.pdf\r\n"
               b"Content-Transfer-Encoding: base64\r\n\r\nAAECAw==\r\n--x\r\n"
               b"Content-Type: message/rfc822\r\nContent-Disposition: attachment; filename=f.eml\r\n\r\n"
               b"Subject: inner\r\n\r\ntext\r\n--x--\r\n")
        self.assertEqual(attachments.sizes_in_mime(raw), ("<a@b>", [4]))
        problems = attachments.differences({"<a@b>": [4]}, {"<a@b>": [3]}, "libpff")
        self.assertEqual(problems, ["libpff: attachments of <a@b>: [4] in the store, [3] read back"])
        self.assertEqual(attachments.differences({"<a@b>": [4]}, {"<a@b>": [4]}, "libpff"), [])

    def test_failing_converter_fails_the_run(self):
        broken = script(self.dir, "broken", "echo 'cannot write the PST' >&2; exit 3")
        run = self.run_bench(self.store(1), broken)
        self.assertEqual(run.returncode, 1)
        self.assertIn("exited with status 3", run.stdout)
        self.assertIn("cannot write the PST", run.stdout)
        self.assertIn("expected one .pst file", run.stdout)

    def test_missing_store_is_refused_with_advice(self):
        run = self.run_bench(os.path.join(self.dir, "nowhere"), self.converter)
        self.assertNotEqual(run.returncode, 0)
        self.assertIn("make-store", run.stderr)


class DiscardingReadback(unittest.TestCase):
    def test_counts_every_message_and_never_removes_one_being_written(self):
        sys.path.insert(0, BENCH)
        from benchrun.readback import DiscardingCounter
        import threading
        import time
        plan = {"Top/Inbox": 12, "Top/Inbox/Sub": 3, "Top/Empty": 0, "Top/Sent": 7}
        chunk = b"x" * 1000
        with tempfile.TemporaryDirectory() as root:
            def writer():  # like readpst -e: folder by folder, N.eml upwards, each written slowly
                for folder, n in plan.items():
                    os.makedirs(os.path.join(root, folder), exist_ok=True)
                    for i in range(1, n + 1):
                        with open(os.path.join(root, folder, "%d.eml" % (2 * i)), "wb") as f:
                            f.write(chunk)
                            f.flush()
                            time.sleep(0.004)
                            f.write(chunk)
            counter = DiscardingCounter(root, interval=0.001)
            counter.start()
            thread = threading.Thread(target=writer)
            thread.start()
            thread.join()
            counts = counter.finish()
            self.assertEqual(counts, {k: v for k, v in plan.items() if v})
            self.assertEqual(counter.bytes, sum(plan.values()) * 2 * len(chunk))
            self.assertEqual([f for _, _, files in os.walk(root) for f in files], [])


class TimedStep(unittest.TestCase):
    def test_long_step_reports_progress_and_keeps_status_time_and_memory(self):
        sys.path.insert(0, BENCH)
        from benchrun.measure import run_step
        calls = []
        with tempfile.TemporaryDirectory() as logs:
            step = run_step("sleepy", ["sh", "-c", "printf 'a\\n1/9\\r2/9'; sleep 0.5; echo; echo done; exit 4"], logs,
                            progress=lambda seconds, step: calls.append((seconds, step.tail(1))), every=0.1)
            self.assertEqual(step.tail(2), "2/9\ndone\n")
        self.assertEqual(step.returncode, 4)
        self.assertGreaterEqual(step.seconds, 0.5)
        self.assertGreater(step.peak_rss_kb, 0)
        self.assertGreaterEqual(len(calls), 2)
        self.assertEqual(calls, sorted(calls))
        self.assertEqual(calls[0][1], "2/9\n")  # the bar's latest drawing, not the whole line

    def test_cpu_time_is_taken_from_the_step(self):
        sys.path.insert(0, BENCH)
        from benchrun.measure import run_step
        with tempfile.TemporaryDirectory() as logs:
            busy = run_step("busy", ["sh", "-c", "i=0; while [ $i -lt 100000 ]; do i=$((i+1)); done"], logs)
            idle = run_step("idle", ["sleep", "0.3"], logs)
        self.assertGreater(busy.cpu_s, 0.02)
        self.assertLess(idle.cpu_s, 0.1)


if __name__ == "__main__":
    unittest.main(verbosity=1)
