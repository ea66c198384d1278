"""Prints the names of the root folder's sub folders as libpff finds them, one a line.

Usage: read_folders_with_pypff.py FILE; exits 3 when pypff is missing.
"""
import sys

try:
    import pypff
except ImportError:
    sys.exit(3)

f = pypff.file()
f.open(sys.argv[1])
root = f.get_root_folder()
for i in range(root.number_of_sub_folders):
    print(root.get_sub_folder(i).name)
f.close()
