"""Seeded choices built only on random.random(), the one method whose sequence Python
promises to keep across versions: the same seed must give the same store everywhere."""
import math
import random


class Rng:
    def __init__(self, seed: int):
        self._r = random.Random(seed)

    def unit(self) -> float:
        return self._r.random()

    def below(self, n: int) -> int:
        return min(int(self._r.random() * n), n - 1)

    def between(self, low: int, high: int) -> int:
        """Uniform integer in [low, high]."""
        return low + self.below(high - low + 1)

    def pick(self, seq):
        return seq[self.below(len(seq))]

    def chance(self, p: float) -> bool:
        return self._r.random() < p

    def log_uniform(self, low: float, high: float) -> int:
        """Sizes of real files cluster at the small end: uniform in log space."""
        return int(math.exp(math.log(low) + self._r.random() * (math.log(high) - math.log(low))))

    def pareto(self, alpha: float) -> float:
        return (1.0 - self._r.random()) ** (-1.0 / alpha)

    def weighted(self, weights) -> int:
        """Index drawn with the given relative weights."""
        x = self._r.random() * sum(weights)
        for i, w in enumerate(weights):
            x -= w
            if x < 0:
                return i
        return len(weights) - 1

    def shuffle(self, items: list) -> None:
        for i in range(len(items) - 1, 0, -1):
            j = self.below(i + 1)
            items[i], items[j] = items[j], items[i]

    def fork(self, label: str) -> "Rng":
        """An independent stream, so adding draws in one area leaves the others unchanged."""
        return Rng(int(self._r.random() * (1 << 52)) ^ _label_hash(label))


def log_uniform_mean(low: float, high: float) -> float:
    return (high - low) / math.log(high / low)


def _label_hash(label: str) -> int:
    h = 1469598103934665603
    for b in label.encode():
        h = ((h ^ b) * 1099511628211) & ((1 << 64) - 1)
    return h
