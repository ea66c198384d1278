#!/usr/bin/python3
"""Prints each folder of a PST file as "PATH<TAB>SUBJECT|SUBJECT...", read through libpff.

Usage: pst_summary.py FILE. Exits 3 when pypff is missing, 2 when libpff cannot open FILE.
"""
import sys

try:
    import pypff
except ImportError:
    sys.exit(3)


def walk(folder, path):
    for i in range(folder.number_of_sub_folders):
        sub = folder.get_sub_folder(i)
        sub_path = path + "/" + (sub.name or "")
        subjects = [sub.get_sub_message(j).subject or "" for j in range(sub.number_of_sub_messages)]
        print(sub_path + "\t" + "|".join(subjects))
        walk(sub, sub_path)


pst = pypff.file()
try:
    pst.open(sys.argv[1])
except Exception as error:  # libpff reports every kind of damage as one error type
    print(error, file=sys.stderr)
    sys.exit(2)
walk(pst.root_folder, "")
