"""The figures of one benchmark run, as console lines and as a RESULTS.md section."""
import os
import platform
import subprocess
import time
from dataclasses import dataclass, field

# Goals for the converter; a run reports them but does not fail on them.
TARGETS = {
    "convert_vs_cp": 2.0,        # at most twice a plain copy of the tree
    "convert_vs_readpst": 1.0,   # faster than readpst reads the PST back
    "pst_vs_input": 2.0,         # PST at most twice the input bytes
    "peak_rss_mb": 256.0,
}


@dataclass
class Figures:
    store: str
    label: str
    messages: int
    input_bytes: int
    folders: int
    cp_s: float = 0.0
    convert_s: float = 0.0
    readpst_s: float = 0.0
    verify_s: float = 0.0
    cp_cpu_s: float = 0.0
    convert_cpu_s: float = 0.0
    readpst_cpu_s: float = 0.0
    pst_bytes: int = 0
    convert_rss_kb: int = 0
    readpst_rss_kb: int = 0
    read_back: int = -1
    verify_summary: str = ""
    problems: list = field(default_factory=list)
    store_summary: dict = field(default_factory=dict)
    load_at_start: float = 0.0
    converter_says: str = ""
    libpff_s: float = 0.0
    libpff_read_back: int = -1
    attachments_checked: int = -1
    largest_folder: str = ""
    largest_in_store: int = 0
    largest_readpst: int = -1
    largest_libpff: int = -1
    convert_tree_rss_kb: int = 0      # the converter and its readers together, sampled every 0.1 s
    convert_rounds: int = 1
    baseline: str = ""                # another converter timed on the same store in the same run
    baseline_s: float = 0.0
    baseline_cpu_s: float = 0.0
    baseline_tree_rss_kb: int = 0

    @property
    def ok(self) -> bool:
        return not self.problems

    def ratios(self) -> dict:
        def div(a, b):
            return a / b if b else float("nan")
        return {
            "convert_vs_cp": div(self.convert_s, self.cp_s),
            "convert_vs_readpst": div(self.convert_s, self.readpst_s),
            "pst_vs_input": div(self.pst_bytes, self.input_bytes),
            "peak_rss_mb": self.convert_rss_kb / 1024,
        }

    def rows(self) -> list:
        """(measure, value, target) rows shared by the console and the record."""
        r = self.ratios()

        def target(key, text):
            met = r[key] <= TARGETS[key] if key != "convert_vs_readpst" else r[key] < TARGETS[key]
            return "%s (%s)" % (text, "met" if met else "not met")

        return [
            ("messages in the store", "{:,}".format(self.messages), ""),
            ("messages read back by readpst", "{:,}".format(self.read_back) if self.read_back >= 0 else "n/a",
             "equal to the store"),
            ("converter's own count", self.converter_says or "n/a", ""),
            ("input", "%s in %s folders" % (_mb(self.input_bytes), "{:,}".format(self.folders)), ""),
            ("convert time", "%.1f s (CPU %.1f s)" % (self.convert_s, self.convert_cpu_s), ""),
            ("messages per second", "%.0f" % (self.messages / self.convert_s if self.convert_s else 0), ""),
            ("input MB per second", "%.1f" % (self.input_bytes / 1e6 / self.convert_s if self.convert_s else 0), ""),
            ("cp -r time", "%.1f s (CPU %.1f s)" % (self.cp_s, self.cp_cpu_s), ""),
            ("readpst time", "%.1f s (CPU %.1f s)" % (self.readpst_s, self.readpst_cpu_s), ""),
            ("convert / readpst in CPU time", "%.2f" % (self.convert_cpu_s / self.readpst_cpu_s
                                                         if self.readpst_cpu_s else float("nan")), ""),
            ("convert / cp -r", "%.2f" % r["convert_vs_cp"], target("convert_vs_cp", "<= 2")),
            ("convert / readpst", "%.2f" % r["convert_vs_readpst"], target("convert_vs_readpst", "< 1")),
            ("PST size", _mb(self.pst_bytes), ""),
            ("PST bytes / input bytes", "%.2f" % r["pst_vs_input"], target("pst_vs_input", "<= 2")),
            ("peak RSS of the converter", "%.0f MB" % r["peak_rss_mb"], target("peak_rss_mb", "<= 256 MB")),
            ("peak RSS, process tree", "%.0f MB" % (self.convert_tree_rss_kb / 1024), ""),
            ("peak RSS of readpst", "%.0f MB" % (self.readpst_rss_kb / 1024), ""),
            ("pst-verify", "%s (%.1f s)" % (self.verify_summary or "n/a", self.verify_s), "no errors"),
        ] + ([("messages read back by libpff", "{:,} ({:.0f} s)".format(self.libpff_read_back, self.libpff_s),
               "equal to the store")] if self.libpff_read_back >= 0 else []) + (
            [("attachment sizes compared", "{:,}".format(self.attachments_checked), "all equal")]
            if self.attachments_checked >= 0 else []) + (
            [("largest folder, read back", self._largest(), "equal to the store")] if self.largest_in_store else []) + (
            self._baseline_rows() if self.baseline else [])

    def _baseline_rows(self) -> list:
        rate = self.messages / self.convert_s if self.convert_s else 0
        base = self.messages / self.baseline_s if self.baseline_s else 0
        return [
            ("baseline converter", "`%s`, best of %d, alternating with this one" % (self.baseline, self.convert_rounds), ""),
            ("baseline convert time", "%.1f s (CPU %.1f s)" % (self.baseline_s, self.baseline_cpu_s), ""),
            ("baseline messages per second", "%.0f" % base, ""),
            ("baseline peak RSS, tree", "%.0f MB" % (self.baseline_tree_rss_kb / 1024), ""),
            ("msg/s against the baseline", "%.3f" % (rate / base if base else float("nan")), ">= 0.90"),
        ]

    def _largest(self) -> str:
        readers = [(name, n) for name, n in (("readpst", self.largest_readpst), ("libpff", self.largest_libpff))
                   if n >= 0]
        return "{:,} in the store; {}".format(
            self.largest_in_store, ", ".join("{} {:,}".format(name, n) for name, n in readers) or "not read back")

    def console(self) -> str:
        width = max(len(m) for m, _, _ in self.rows())
        lines = ["%-*s  %s%s" % (width, m, v, "   [target %s]" % t if t else "") for m, v, t in self.rows()]
        lines += ["PROBLEM: " + p for p in self.problems] or ["all checks passed"]
        return "\n".join(lines)

    def record(self, work_dir: str) -> str:
        kinds = self.store_summary.get("kinds")
        mix = (", mix " + " / ".join("%s %d" % (k, v) for k, v in sorted(kinds.items()))) if kinds else ""
        seed = (", seed %s" % self.store_summary["seed"]) if "seed" in self.store_summary else ""
        out = ["## %s: %s" % (time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()), self.label), "",
               "- store: `%s` ({:,} messages%s%s)".format(self.messages) % (self.store, seed, mix),
               "- commit: %s" % _commit(),
               "- machine: %s, load %.1f at start" % (machine(work_dir), self.load_at_start), "",
               "| measure | value | target |", "|---|---|---|"]
        out += ["| %s | %s | %s |" % row for row in self.rows()]
        out += [""] + ["Problem: " + p for p in self.problems] + ([""] if self.problems else [])
        return "\n".join(out) + "\n"


def _mb(n: int) -> str:
    return "%.1f MB" % (n / 1e6)


def _commit() -> str:
    here = os.path.dirname(os.path.abspath(__file__))
    try:
        head = subprocess.run(["git", "-C", here, "rev-parse", "--short", "HEAD"], capture_output=True,
                              text=True).stdout.strip()
        # The results file itself changes with every recorded run: it does not count.
        dirty = subprocess.run(["git", "-C", here, "status", "--porcelain", "--untracked-files=no", "--",
                                ":(top)", ":(top,exclude)bench/RESULTS.md"],
                               capture_output=True, text=True).stdout.strip()
        return head + (" with uncommitted changes" if dirty else "") if head else "unknown"
    except OSError:
        return "unknown"


def machine(work_dir: str) -> str:
    cpu = platform.processor() or platform.machine()
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    try:
        with open("/proc/meminfo") as f:
            mem = "%.0f GB RAM" % (int(f.readline().split()[1]) / 1024 / 1024)
    except (OSError, ValueError, IndexError):
        mem = "RAM unknown"
    fs = subprocess.run(["df", "--output=fstype,source", work_dir], capture_output=True,
                        text=True).stdout.split("\n")[1:2]
    return "%s, %d cores, %s, %s, Linux %s" % (
        cpu, os.cpu_count() or 0, mem, " on ".join(fs[0].split()) if fs else "disk unknown", platform.release())
