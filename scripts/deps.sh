#!/usr/bin/env bash
# Installs the Debian packages of the sets named (window, test, package). `make run` asks
# only for what the window and the command line need, so that a user who only converts is
# not asked for the test and packaging tools. As root it installs what is missing;
# otherwise it names what to install.
#
#   window   build the programs and run them (make run, make programs)
#   test     the test suite's PST readers and the package's checkers (make test, with package)
#   package  build the Debian package (make package)
set -euo pipefail

declare -A sets=(
  [window]="cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libgmime-3.0-dev zlib1g-dev libsqlite3-dev
            fonts-dejavu-core fonts-wine"
  [test]="libgtest-dev googletest pff-tools python3-pypff pst-utils time
          lintian desktop-file-utils man-db"
  [package]="dpkg-dev file"
)

[ $# -eq 0 ] && set -- window
packages=()
for name in "$@"; do
  if [ -z "${sets[$name]+set}" ]; then
    echo "deps.sh: unknown set '$name' (window, test or package)" >&2
    exit 2
  fi
  # shellcheck disable=SC2206  # package names hold no spaces or wildcards
  packages+=(${sets[$name]})
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Vantorel needs these Debian packages: ${missing[*]}" >&2
  echo "Install them with: sudo apt-get update && sudo apt-get install ${missing[*]}" >&2
  echo "Without sudo, ask an administrator to install them, or build where you are root (a container or virtual machine)." >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
