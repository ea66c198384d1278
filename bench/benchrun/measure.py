"""Running one timed step: wall time measured here, peak memory from GNU time, and the peak
memory of the step's whole process tree (a program and the helpers it starts) sampled here."""
import os
import re
import subprocess
import threading
import time
from dataclasses import dataclass

GNU_TIME = "/usr/bin/time"


@dataclass
class Step:
    name: str
    command: list
    seconds: float = 0.0
    peak_rss_kb: int = 0
    cpu_s: float = 0.0     # user + system: on a busy machine steadier than the wall time
    returncode: int = 0
    log: str = ""          # file holding the command's output
    tree_peak_rss_kb: int = 0  # largest sum of resident memory over the process tree, sampled

    def tail(self, lines: int = 15) -> str:
        """The last lines of the output; a long log is not read whole."""
        try:
            with open(self.log, "rb") as f:
                f.seek(0, os.SEEK_END)
                f.seek(max(0, f.tell() - 64 * 1024))
                text = f.read().decode("utf-8", "replace")
        except OSError:
            return ""
        # A progress bar redraws its line with carriage returns: keep only the last drawing.
        rows = [row.rsplit("\r", 1)[-1] for row in text.rstrip("\r\n").split("\n")]
        return "\n".join(rows[-lines:]) + "\n"


def run_step(name: str, command: list, log_dir: str, sync_dir: str = "", progress=None,
             every: float = 30.0) -> Step:
    """Runs `command` under GNU time, its output into log_dir/<name>.log. With sync_dir, the
    time includes flushing that disk, so a tool whose writes still sit in the page cache is
    not counted faster than one that waited for them. `progress(seconds, step)` is called every
    `every` seconds while the command runs, so a long step shows it is alive."""
    step = Step(name, command, log=os.path.join(log_dir, name + ".log"))
    stats = os.path.join(log_dir, name + ".time")
    with open(step.log, "wb") as log:
        start = time.monotonic()
        proc = subprocess.Popen([GNU_TIME, "-v", "-o", stats, *command], stdout=log, stderr=subprocess.STDOUT)
        sampler = TreeSampler(proc.pid)
        sampler.start()
        while True:
            try:
                step.returncode = proc.wait(timeout=every)
                break
            except subprocess.TimeoutExpired:
                if progress:
                    progress(time.monotonic() - start, step)
        sampler.stop()
        step.tree_peak_rss_kb = sampler.peak_kb
        if sync_dir:
            subprocess.run(["sync", "-f", sync_dir])
        step.seconds = time.monotonic() - start
    step.peak_rss_kb, step.cpu_s = resources(stats)
    return step


def resources(stats_file: str) -> tuple:
    """(peak RSS in kB, CPU seconds) from GNU time's verbose report; zeros when missing."""
    try:
        with open(stats_file) as f:
            text = f.read()
    except OSError:
        return 0, 0.0
    rss = re.search(r"Maximum resident set size \(kbytes\): (\d+)", text)
    cpu = sum(float(m) for m in re.findall(r"(?:User|System) time \(seconds\): ([\d.]+)", text))
    return (int(rss.group(1)) if rss else 0), cpu


class TreeSampler(threading.Thread):
    """Sums the resident memory of a process and all its descendants every `interval` seconds
    and keeps the largest sum. Shared pages count once per process, so the sum is an upper bound."""

    def __init__(self, root: int, interval: float = 0.1):
        super().__init__(daemon=True)
        self.root, self.interval, self.peak_kb = root, interval, 0
        self._done = threading.Event()
        self._page_kb = os.sysconf("SC_PAGE_SIZE") // 1024

    def stop(self):
        self._done.set()
        self.join()

    def run(self):
        while not self._done.is_set():
            self.peak_kb = max(self.peak_kb, self.sample())
            self._done.wait(self.interval)

    def sample(self) -> int:
        children = {}
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/stat" % entry) as f:
                    ppid = int(f.read().rsplit(")", 1)[1].split()[1])
            except (OSError, IndexError, ValueError):
                continue
            children.setdefault(ppid, []).append(int(entry))
        total, pending = 0, [self.root]
        while pending:
            pid = pending.pop()
            pending += children.get(pid, [])
            try:
                with open("/proc/%d/statm" % pid) as f:
                    total += int(f.read().split()[1]) * self._page_kb
            except (OSError, IndexError, ValueError):
                pass
        return total
