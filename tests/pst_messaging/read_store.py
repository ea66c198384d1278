"""Reads the store oracle_test.cpp writes through libpff (pypff) and checks folders, counts and
every value of the message with all property types. Exit 0 when all match; prints what differs."""
import struct
import sys

import pypff

problems = []


def check(what, got, expected):
    if got != expected:
        problems.append("%s: got %r, expected %r" % (what, got, expected))


def entries(item):
    out = {}
    for rs in range(item.number_of_record_sets):
        for e in item.get_record_set(rs).entries:
            out[e.entry_type] = e
    return out


def child(folder, name):
    for f in folder.sub_folders:
        if f.name == name:
            return f
    problems.append("folder %r missing below %r (have %r)" % (name, folder.name, [f.name for f in folder.sub_folders]))
    return None


def main():
    f = pypff.file()
    f.open(sys.argv[1])
    root = f.root_folder
    check("top folders", sorted(x.name for x in root.sub_folders),
          sorted(["Top of Outlook data file", "Search Root", "SPAM Search Folder 2", "IPM_COMMON_VIEWS"]))
    top = child(root, "Top of Outlook data file")
    check("user folders", sorted(x.name for x in top.sub_folders), sorted(["Deleted Items", "Posteingang äöü", "Archive"]))
    inbox = child(top, "Posteingang äöü")
    deep = child(child(child(inbox, "Unterordner ✓ 日本"), "Ebene 3"), "Ebene 4")
    check("inbox messages", inbox.number_of_sub_messages, 2)
    check("deep messages", deep.number_of_sub_messages, 1)
    check("deep subject", deep.get_sub_message(0).subject, "Deep message")
    check("inbox counts", (entries(inbox)[0x3602].data_as_integer, entries(inbox)[0x3603].data_as_integer), (2, 1))

    by_subject = {m.subject: m for m in inbox.sub_messages}
    m = by_subject.get("Every type – ✓")
    if m is None:
        problems.append("message 'Every type' missing; have %r" % list(by_subject))
        return
    body = m.plain_text_body.decode("utf-8") if isinstance(m.plain_text_body, bytes) else m.plain_text_body
    check("body", (len(body), body[-3:]), (100003, "END"))
    e = entries(m)
    raw = {k: v.data for k, v in e.items()}
    check("int16", raw[0x7D00][:2], struct.pack("<h", -2))
    check("int32", raw[0x7D01], struct.pack("<i", -123456))
    check("float", raw[0x7D02], struct.pack("<f", 1.5))
    check("double", raw[0x7D03], struct.pack("<d", -2.25))
    check("currency", raw[0x7D04], struct.pack("<q", 123456789))
    check("apptime", raw[0x7D05], struct.pack("<d", 40000.5))
    check("error", raw[0x7D06], struct.pack("<I", 0x80004005))
    check("boolean", raw[0x7D07][:1], b"\x01")
    check("int64", raw[0x7D08], struct.pack("<q", -9876543210))
    check("string8", raw[0x7D09].rstrip(b"\0"), b"ascii eight")
    check("unicode", raw[0x7D0A].decode("utf-16-le").rstrip("\0"), "Grüße 日本 \U0001F4E7")
    check("time", raw[0x7D0B], struct.pack("<Q", 0x01DB7E3B23A54963))
    check("guid", raw[0x7D0C], bytes(range(1, 17)))
    check("binary", raw[0x7D0D], b"\x00\x01\x02\xff")
    check("mv int32", raw[0x7D0E], struct.pack("<iii", 1, -2, 3))
    mv = raw[0x7D0F]
    count = struct.unpack_from("<I", mv)[0]
    offsets = list(struct.unpack_from("<%dI" % count, mv, 4)) + [len(mv)]
    check("mv unicode", [mv[offsets[i]:offsets[i + 1]].decode("utf-16-le").rstrip("\0") for i in range(count)],
          ["eins", "zwei", "drei"])
    mvb = raw[0x7D10]
    count = struct.unpack_from("<I", mvb)[0]
    check("mv binary count", count, 2)
    check("named LID value", e[0x8010].data_as_integer, 77)
    check("named string value", e[0x8023].data.decode("utf-16-le").rstrip("\0"), "named value")
    check("flags", e[0x0E07].data_as_integer, 0x11)
    check("attachments", m.number_of_attachments, 4)
    sizes = [a.size for a in m.attachments]
    check("attachment sizes", sizes[:3], [0, 1, 12 * 1024 * 1024])
    big = m.get_attachment(2)
    data = big.read_buffer(big.size)
    expected = bytes((i * 7 + 3) % 251 for i in range(4096))
    check("big attachment start", data[:4096], expected)
    tail_start = len(data) - 4096
    check("big attachment end", data[tail_start:], bytes((i * 7 + 3) % 251 for i in range(tail_start, len(data))))
    unread = by_subject.get("Unread one")
    check("unread flags", entries(unread)[0x0E07].data_as_integer, 0)


main()
for p in problems:
    print(p)
sys.exit(1 if problems else 0)
