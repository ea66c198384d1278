"""Builds the Debian package with CPack into a temporary folder and checks it as a user would
get it: the files it holds, lintian without errors, a valid desktop entry, and the unpacked
vantorel-convert converting the corpus (convert_corpus_test.py reads the PST back).

Usage: package_test.py BUILD_DIR CONVERT_CORPUS_TEST CORPUS_DIR
"""
import glob
import os
import re
import subprocess
import sys
import tempfile

build, corpus_test, corpus = sys.argv[1:4]
failures = []

EXPECTED = [
    "./usr/bin/vantorel", "./usr/bin/vantorel-convert", "./usr/bin/pst-verify",
    "./usr/share/applications/vantorel.desktop",
    "./usr/share/doc/vantorel/copyright", "./usr/share/doc/vantorel/changelog.gz",
    "./usr/share/man/man1/vantorel.1.gz", "./usr/share/man/man1/vantorel-convert.1.gz",
    "./usr/share/man/man1/pst-verify.1.gz",
] + ["./usr/share/icons/hicolor/%dx%d/apps/vantorel.png" % (s, s) for s in (16, 32, 48, 64, 128, 256)]


def run(*args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, **kwargs)


with tempfile.TemporaryDirectory(prefix="vantorel-package-") as work:
    made = run("cpack", "-G", "DEB", "--config", os.path.join(build, "CPackConfig.cmake"), "-B", work)
    debs = glob.glob(os.path.join(work, "*.deb"))
    if made.returncode != 0 or len(debs) != 1:
        print("FAIL: cpack made %s\n%s%s" % (debs, made.stdout, made.stderr))
        sys.exit(1)
    deb = debs[0]

    listing = run("dpkg-deb", "-c", deb).stdout
    held = {line.split()[5] for line in listing.splitlines()}
    missing = [path for path in EXPECTED if path not in held]
    if missing:
        failures.append("not in the package: %s\n%s" % (missing, listing))
    for line in listing.splitlines():
        mode, owner = line.split()[:2]
        if owner != "root/root" or ("w" in mode[4:]):
            failures.append("owner or mode: " + line)

    depends = run("dpkg-deb", "-f", deb, "Depends").stdout
    for library in ("libc6", "libqt6widgets6", "libgmime-3.0-0", "zlib1g", "libsqlite3-0"):
        if library not in depends:
            failures.append("Depends lacks %s: %s" % (library, depends))

    lintian = run("lintian", "--no-tag-display-limit", deb)
    errors = [line for line in lintian.stdout.splitlines() if line.startswith("E:")]
    if errors or lintian.returncode != 0:
        failures.append("lintian:\n" + lintian.stdout + lintian.stderr)

    root = os.path.join(work, "root")
    run("dpkg-deb", "-x", deb, root)
    desktop = run("desktop-file-validate", os.path.join(root, "usr/share/applications/vantorel.desktop"))
    if desktop.returncode != 0 or desktop.stdout.strip():
        failures.append("desktop-file-validate: " + desktop.stdout + desktop.stderr)

    convert = os.path.join(root, "usr/bin/vantorel-convert")
    help_text = run(convert, "--help").stdout
    manual = run("man", "-l", os.path.join(root, "usr/share/man/man1/vantorel-convert.1.gz")).stdout
    statuses = manual.split("EXIT STATUS")[-1].split("EXAMPLES")[0]
    for line in help_text.split("Exit status:")[-1].splitlines():
        status = line.split()[0] if line.strip() else ""
        if status.isdigit() and not re.search(r"^\s+%s\s" % status, statuses, re.M):
            failures.append("exit status %s of --help is not in the manual page" % status)

    converted = run("/usr/bin/python3", corpus_test, convert, os.path.join(root, "usr/bin/pst-verify"), corpus)
    if converted.returncode != 0:
        failures.append("the unpacked converter on the corpus:\n" + converted.stdout + converted.stderr)

for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
