"""Counting messages: the source store's .msg files and the files readpst wrote back."""
import os
from collections import Counter


def message_files(root: str):
    """(count, bytes, per-folder counts keyed by absolute folder path without the leading /)."""
    count = size = 0
    folders = Counter()
    for folder, _, files in os.walk(root):
        key = os.path.abspath(folder).lstrip("/")
        for name in files:
            if name.lower().endswith(".msg"):
                count += 1
                size += os.path.getsize(os.path.join(folder, name))
                folders[key] += 1
    return count, size, folders


def matched_counts(source: Counter, readback: Counter):
    """(messages read back per source folder, messages in folders the store does not have). A
    read-back folder matches the source folder whose path it ends with: the PST mirrors the
    whole path below the root, under the store's own folders."""
    matched = Counter()
    unmatched = 0
    for path, n in readback.items():
        parts = path.split(os.sep)
        for i in range(len(parts)):
            key = "/".join(parts[i:])
            if key in source:
                matched[key] += n
                break
        else:
            unmatched += n
    return matched, unmatched


def folder_differences(source: Counter, readback: Counter, limit: int = 5) -> list:
    """Folders whose counts differ."""
    matched, unmatched = matched_counts(source, readback)
    lines = []
    for key in sorted(source):
        if matched[key] != source[key]:
            lines.append("%s: %d in the store, %d read back" % (key, source[key], matched[key]))
    if unmatched:
        lines.append("%d messages read back from folders that are not in the store" % unmatched)
    return lines[:limit] + (["... and %d more" % (len(lines) - limit)] if len(lines) > limit else [])


def folder_bytes(root: str) -> int:
    total = 0
    for folder, _, files in os.walk(root):
        for name in files:
            try:
                total += os.path.getsize(os.path.join(folder, name))
            except OSError:  # a file the running tool just renamed or removed
                pass
    return total
