"""Attachment sizes per message, keyed by Message-ID: what the store's files hold and what a
reader gives back. Only attachments by value count (files, not forwarded messages)."""
import email
import email.policy
import os
import re

_MESSAGE_ID = re.compile(rb"^message-id:[ \t]*(.*(?:\r?\n[ \t].*)*)", re.IGNORECASE | re.MULTILINE)


def message_id(headers: bytes) -> str:
    match = _MESSAGE_ID.search(headers)
    return b" ".join(match.group(1).split()).decode("ascii", "replace") if match else ""


def sizes_in_mime(raw: bytes) -> tuple:
    """(Message-ID, sorted decoded sizes of the parts that carry a file name)."""
    head = raw.split(b"\r\n\r\n", 1)[0].split(b"\n\n", 1)[0]
    msg = email.message_from_bytes(raw, policy=email.policy.compat32)
    sizes = []
    for part in msg.walk():
        if part.is_multipart() or part.get_content_type() == "message/rfc822" or not part.get_filename():
            continue
        sizes.append(len(part.get_payload(decode=True) or b""))
    return message_id(head), sorted(sizes)


def expected_from_store(root: str) -> dict:
    """Message-ID -> sorted attachment sizes for every .msg file below `root` with attachments."""
    expected = {}
    for folder, _, files in os.walk(root):
        for name in files:
            if not name.lower().endswith(".msg"):
                continue
            with open(os.path.join(folder, name), "rb") as f:
                raw = f.read()
            if b"filename" not in raw:
                continue
            key, sizes = sizes_in_mime(raw)
            if sizes:
                expected[key] = sizes
    return expected


def differences(expected: dict, got: dict, reader: str, limit: int = 5) -> list:
    lines = []
    for key in sorted(set(expected) | set(got)):
        want, have = expected.get(key, []), got.get(key, [])
        if want != have:
            lines.append("%s: attachments of %s: %s in the store, %s read back" % (reader, key or "(no id)", want, have))
    return lines[:limit] + (["... and %d more" % (len(lines) - limit)] if len(lines) > limit else [])
