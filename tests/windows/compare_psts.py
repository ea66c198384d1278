#!/usr/bin/env python3
"""Compares two PSTs' messages field by field, as libpff's pffexport exports them.

  compare_psts.py LINUX_EXPORT WINDOWS_EXPORT CORPUS tests/windows/known-pst-differences.txt

Both exports are of the same store converted by two builds. Folders are compared below the
store's own folder (those above it name the path the store was given: /... on Linux, Z:\\...
under Wine). Readers finish in their own order, so a folder's messages are paired by content:
an identical one first, else one with the same subject. Compared: the message counts, the
Outlook headers (subject, sender, flags, sizes, message times), the Internet headers, the
recipients, the text, HTML and RTF bodies, and the attachments' names and sizes; not compared
are the creation and modification times, which are the run's. A message that differs fails,
unless its source file is listed in the known differences (found by its Message-ID, or
its raw subject); a listed
file that no longer differs fails too, so that the list stays true."""
import email
import email.policy
import os
import re
import sys

STORE = "corpus"
RUN_TIMES = re.compile(r"^(Creation|Modification) time:")
FILES = ("InternetHeaders.txt", "Recipients.txt", "Message.txt", "Message.html", "Message.rtf")


def folders(export):
    """{folder below the store: [message folders]}"""
    found = {}
    for root, dirs, _ in os.walk(export):
        parts = os.path.relpath(root, export).split(os.sep)
        if STORE not in parts or "Attachments" in parts or any(p.startswith("Message") for p in parts):
            continue
        key = "/".join(parts[parts.index(STORE) + 1:])
        found[key] = sorted(os.path.join(root, d) for d in dirs if re.fullmatch(r"Message\d+", d))
    return found


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def fields(message):
    outlook = (read(os.path.join(message, "OutlookHeaders.txt")) or b"").decode("utf-8", "replace")
    lines = [line for line in outlook.splitlines() if not RUN_TIMES.match(line)]
    subject = next((line.split(":", 1)[1].strip() for line in lines if line.startswith("Subject:")), "")
    result = {"subject": subject, "Outlook headers": lines}
    for name in FILES:
        result[name] = read(os.path.join(message, name))
    attachments = []
    top = os.path.join(message, "Attachments")
    for root, _, files in os.walk(top):
        for f in files:
            attachments.append((os.path.relpath(os.path.join(root, f), top), os.path.getsize(os.path.join(root, f))))
    result["attachments"] = sorted(attachments)
    return result


def identity(data):
    """What names a message in its header block: its Message-ID, or without one its raw subject."""
    msg = email.message_from_bytes(data or b"", policy=email.policy.compat32)
    ident = " ".join(str(msg.get("Message-ID", "")).split())
    return ("id", ident) if ident else ("subject", " ".join(str(msg.get("Subject", "")).split()))


def listed_files(corpus, known):
    """{listed file: its identity}"""
    files = {}
    for line in open(known, encoding="utf-8"):
        if line.startswith("#") or not line.strip():
            continue
        rel = line.split("\t")[0]
        with open(os.path.join(corpus, rel), "rb") as f:
            files[rel] = identity(f.read())
    return files


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
        unmatched = [fields(y) for y in b]
        rest = []
        for x in a:
            messages += 1
            fx = fields(x)
            if fx in unmatched:
                unmatched.remove(fx)
            else:
                rest.append((x, fx))
        for x, fx in rest:
            same = [fy for fy in unmatched if fy["subject"] == fx["subject"]]
            fy = same[0] if same else (unmatched[0] if unmatched else {})
            if fy:
                unmatched.remove(fy)
            bad = [k for k in fx if fx[k] != fy.get(k)]
            differing.append((folder, fx["subject"], bad, os.path.basename(x), identity(fx["InternetHeaders.txt"])))
    listed = listed_files(corpus, known)
    unexplained = []
    for folder, subject, bad, name, ident in differing:
        files = [rel for rel, i in listed.items() if rel.split("/")[0] == folder.split("/")[0] and i == ident]
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
