#!/usr/bin/env python3
"""Compares two PSTs' messages field by field, as readpst exports them (one .eml each).

  compare_psts.py LINUX_EXPORT WINDOWS_EXPORT CORPUS KNOWN_DIFFERENCES

Both exports are of the same store converted by two builds: a folder's messages are paired
in the order they were converted, below the store's own folder (the folders above it name
the path the store was given, which differs: /... on Linux, Z:... under Wine). Compared: the
message counts per folder, subject, sender, recipients, the text and HTML bodies, and the
attachments' names and sizes; times are not (a PST holds its run's times). A pair that
differs fails, unless its source file is listed in KNOWN_DIFFERENCES; a listed file that no
longer differs fails too, so that the list stays true."""
import email
import email.policy
import os
import re
import sys

STORE = "corpus"


def folders(export):
    """{folder below the store: [.eml paths in conversion order]}"""
    found = {}
    for root, _, files in os.walk(export):
        parts = os.path.relpath(root, export).split(os.sep)
        if STORE not in parts:
            continue
        key = "/".join(parts[parts.index(STORE) + 1:])
        emls = [f for f in files if f.endswith(".eml")]
        emls.sort(key=lambda f: int(f.split(".")[0]) if f.split(".")[0].isdigit() else 0)
        found[key] = [os.path.join(root, f) for f in emls]
    return found


def fields(path):
    with open(path, "rb") as f:
        # readpst draws a random MIME boundary for every export.
        data = re.sub(rb"iamunique-[0-9]+_", b"iamunique-N_", f.read())
    msg = email.message_from_bytes(data, policy=email.policy.compat32)
    def header(name):
        return " ".join(str(v) for v in (msg.get_all(name) or []))
    text, html, attachments = [], [], []
    for part in msg.walk():
        if part.is_multipart():
            continue
        payload = part.get_payload(decode=True) or b""
        name = part.get_filename()
        if name:
            attachments.append((name, len(payload)))
        elif part.get_content_type() == "text/plain":
            text.append(payload.replace(b"\r\n", b"\n"))
        elif part.get_content_type() == "text/html":
            html.append(payload.replace(b"\r\n", b"\n"))
    return {
        "subject": header("Subject"),
        "sender": header("From"),
        "recipients": (header("To"), header("Cc"), header("Bcc")),
        "body text": b"".join(text),
        "HTML body": b"".join(html),
        "attachments": sorted(attachments),
    }


def source_subjects(corpus, known):
    """The subjects of the files listed as known differences, as the Linux build stores them
    (the first line of their Subject header, unfolded)."""
    subjects = {}
    for line in open(known, encoding="utf-8"):
        if line.startswith("#") or not line.strip():
            continue
        rel = line.split("\t")[0]
        with open(os.path.join(corpus, rel), "rb") as f:
            msg = email.message_from_binary_file(f, policy=email.policy.compat32)
        subjects[rel] = str(msg.get("Subject", ""))
    return subjects


def main():
    linux, windows, corpus, known = sys.argv[1:5]
    left, right = folders(linux), folders(windows)
    problems, differing = [], []
    if not left:
        problems.append(f"no folder named {STORE} in {linux}")
    if set(left) != set(right):
        problems.append(f"folders differ: only Linux {sorted(set(left) - set(right))}, "
                        f"only Windows {sorted(set(right) - set(left))}")
    messages = 0
    for folder in sorted(set(left) & set(right)):
        a, b = left[folder], right[folder]
        if len(a) != len(b):
            problems.append(f"{folder or '.'}: {len(a)} messages on Linux, {len(b)} on Windows")
            continue
        for x, y in zip(a, b):
            messages += 1
            fx, fy = fields(x), fields(y)
            bad = [k for k in fx if fx[k] != fy[k]]
            if bad:
                differing.append((folder, fx["subject"], bad, os.path.basename(x)))
    listed = source_subjects(corpus, known)
    unexplained = []
    for folder, subject, bad, name in differing:
        files = [rel for rel, s in listed.items()
                 if rel.split("/")[0] == folder.split("/")[0] and " ".join(s.split()) in " ".join(subject.split())]
        if files:
            listed.pop(files[0])
        else:
            unexplained.append(f"{folder}/{name} ({subject!r}): {', '.join(bad)} differ")
    problems += unexplained
    problems += [f"{rel} is listed as reading differently, but reads the same" for rel in listed]
    print(f"compared {messages} messages in {len(left)} folders: "
          f"{len(differing)} differ, {len(differing) - len(unexplained)} of them known")
    for p in problems:
        print("  " + p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
