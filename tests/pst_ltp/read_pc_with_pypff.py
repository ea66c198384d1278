"""Prints every property of the message store (node 0x21) as libpff reads it.

Usage: read_pc_with_pypff.py FILE. One line per value: "ID TYPE LENGTH ADLER32 [HEX]", HEX only
for values of at most 64 bytes; exits 3 when pypff is missing.
"""
import sys
import zlib

try:
    import pypff
except ImportError:
    sys.exit(3)

f = pypff.file()
f.open(sys.argv[1])
store = f.get_message_store()
for rs in range(store.get_number_of_record_sets()):
    for e in store.get_record_set(rs).entries:
        data = e.data or b""
        line = "%04x %04x %d %x" % (e.entry_type, e.value_type, len(data), zlib.adler32(data))
        if len(data) <= 64:
            line += " " + (data.hex() or "-")
        print(line)
f.close()
