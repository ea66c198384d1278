#!/usr/bin/env bash
# Copies beside a Windows program every DLL it needs that Windows itself does not
# have: those of the cross-built libraries and of the MinGW runtime, found by
# following the import tables. A DLL found in none of those folders must be one
# that every Windows has (else this fails: the program would not start there,
# even if Wine happens to have it). The copies are stripped of debugging symbols (libstdc++
# alone falls from 24 MB to 2 MB); the list of the DLLs copied is printed.
#   copy-dlls.sh PROGRAM.exe PREFIX
set -euo pipefail
HOST=x86_64-w64-mingw32
exe=$1 prefix=$2
dest=$(dirname "$exe")

search=("$prefix/bin"
        "$(dirname "$("$HOST-g++-posix" -print-file-name=libstdc++-6.dll)")"
        "/usr/$HOST/lib")

# DLLs of Windows itself (lower case), as the libraries built here import them.
declare -A system_dll=()
for d in kernel32 user32 gdi32 advapi32 shell32 ole32 oleaut32 shlwapi ws2_32 mswsock \
         dnsapi iphlpapi msvcrt ucrtbase ntdll rpcrt4 secur32 bcrypt crypt32 userenv \
         version winmm comctl32 netapi32; do
  system_dll[$d.dll]=1
done

imports() { "$HOST-objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p'; }

find_dll() {
  local want=${1,,} dir f name
  for dir in "${search[@]}"; do
    for f in "$dir"/*.[dD][lL][lL]; do
      [ -f "$f" ] || continue
      name=${f##*/}
      if [ "${name,,}" = "$want" ]; then echo "$f"; return 0; fi
    done
  done
  return 1
}

declare -A seen=()
queue=("$exe")
while [ ${#queue[@]} -gt 0 ]; do
  current=${queue[0]}; queue=("${queue[@]:1}")
  while read -r dll; do
    key=${dll,,}
    [ -n "${seen[$key]:-}" ] && continue
    seen[$key]=1
    if path=$(find_dll "$dll"); then
      "$HOST-strip" --strip-unneeded -o "$dest/${path##*/}" "$path"
      echo "$dll"
      queue+=("$path")
    elif [ -z "${system_dll[$key]:-}" ] && [[ $key != api-ms-win-* ]]; then
      echo "copy-dlls: ${current##*/} needs $dll, which is neither built here nor part of Windows" >&2
      exit 1
    fi
  done < <(imports "$current")
done
