"""Counting the messages readpst writes back while deleting them, so that reading a large PST
back needs no second copy of the store on disk (readpst -e writes one N.eml file per
message, numbered upwards within each folder)."""
import os
import re
import threading
import time
from collections import Counter

_MESSAGE = re.compile(r"^(\d+)\.eml$")


class DiscardingCounter(threading.Thread):
    """Every `interval` seconds, counts and removes each folder's finished message files: all
    but the highest-numbered, which readpst may still be writing. `finish()` counts the rest
    once readpst has ended. `inspect(path)`, when given, sees each file before it goes."""

    def __init__(self, root: str, interval: float = 0.5, inspect=None):
        super().__init__(daemon=True)
        self.root, self.interval, self.inspect = root, interval, inspect
        self.counts = Counter()   # messages per folder, keyed by path below root
        self.bytes = 0            # size of the files counted
        self._stop_event = threading.Event()
        self._lock = threading.Lock()

    def run(self) -> None:
        pause = self.interval
        while not self._stop_event.wait(pause):
            start = time.monotonic()
            self._sweep(final=False)
            # On a tree of many folders a sweep takes a while: keep it a small share of a core.
            pause = max(self.interval, 4 * (time.monotonic() - start))

    def finish(self) -> Counter:
        self._stop_event.set()
        self.join()
        self._sweep(final=True)
        return self.counts

    @property
    def total(self) -> int:
        with self._lock:
            return sum(self.counts.values())

    def _sweep(self, final: bool) -> None:
        for folder, _, files in os.walk(self.root):
            numbered = sorted((int(m.group(1)), name) for name in files if (m := _MESSAGE.match(name)))
            done = numbered if final else numbered[:-1]
            if not done:
                continue
            key = os.path.relpath(folder, self.root)
            for _, name in done:
                path = os.path.join(folder, name)
                try:
                    size = os.path.getsize(path)
                    if self.inspect:
                        self.inspect(path)
                    os.remove(path)
                except OSError:
                    continue
                with self._lock:
                    self.counts[key] += 1
                    self.bytes += size
