"""Attachment contents: seeded random bytes, handed out already base64-encoded.

Encoding megabytes per message in Python would dominate the generator's time, so the pool
is encoded once. Base64 turns every 57 input bytes into one 76-character line, so a run of
whole 57-byte groups of the pool is a run of whole lines of its encoding: only the first
line (which carries the file's magic bytes) and the last short line are encoded per file."""
import binascii
import hashlib

from .rng import Rng

GROUP = 57          # input bytes per encoded line
LINE = 76 + 2       # encoded line with its CRLF


class Pool:
    def __init__(self, seed: int, groups: int = 4 * 1024 * 1024 // GROUP):
        self.raw = hashlib.shake_256(b"vantorel-store-pool:%d" % seed).digest(groups * GROUP)
        self._groups = groups
        self._lines = b"".join(binascii.b2a_base64(self.raw[i:i + GROUP], newline=False) + b"\r\n"
                               for i in range(0, len(self.raw), GROUP))

    def slice(self, rng: Rng, size: int) -> bytes:
        start = rng.below(len(self.raw) - size)
        return self.raw[start:start + size]

    def base64_file(self, rng: Rng, size: int, magic: bytes) -> bytes:
        """CRLF-terminated base64 lines of a `size`-byte file that starts with `magic`."""
        if size <= GROUP:
            data = (magic + self.slice(rng, GROUP))[:size]
            return _line(data) if data else b""
        out = [_line(magic + self.slice(rng, GROUP - len(magic)))]
        groups, tail = divmod(size - GROUP, GROUP)
        while groups:
            first = rng.below(self._groups)
            n = min(groups, self._groups - first)
            out.append(self._lines[first * LINE:(first + n) * LINE])
            groups -= n
        if tail:
            out.append(_line(self.slice(rng, tail)))
        return b"".join(out)


def _line(data: bytes) -> bytes:
    return binascii.b2a_base64(data, newline=False) + b"\r\n"
