"""Reads the hand-built store of libpff_test.cpp through libpff and checks every value.

Usage: read_store_with_pypff.py FILE BIGSIZE; exits 0 when all values match, 3 when pypff is missing.
"""
import sys

try:
    import pypff
except ImportError:
    sys.exit(3)


def pattern(n, seed):
    return bytes((i * 7 + seed) % 251 for i in range(n))


def main():
    path, big = sys.argv[1], int(sys.argv[2])
    f = pypff.file()
    f.open(path)
    store = f.get_message_store()
    values = {}
    for rs in range(store.get_number_of_record_sets()):
        for e in store.get_record_set(rs).entries:
            values[e.entry_type] = e
    expected = {
        0x0FF9: pattern(16, 1),
        0x6701: pattern(big, 2),
        0x6702: pattern(3000, 3),
    }
    for tag, data in expected.items():
        got = values[tag].get_data()
        if got != data:
            print("value 0x%04X: %d bytes read, %d expected" % (tag, len(got or b""), len(data)))
            return 1
    if values[0x3001].get_data_as_string() != "Vantorel test":
        print("display name differs")
        return 1
    if values[0x67FF].get_data_as_integer() != 0:
        print("password differs")
        return 1
    f.close()
    return 0


sys.exit(main())
