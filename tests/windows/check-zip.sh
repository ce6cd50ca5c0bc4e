#!/usr/bin/env bash
# Makes the Windows release zip from a cross build and checks it: the files
# it must hold, and that TREVLIN.exe imports only DLLs of Windows itself.
# Usage: tests/windows/check-zip.sh <Windows build directory>
set -euo pipefail
build=$(cd "$1" && pwd)

fail() {
  echo "zip check: $*" >&2
  exit 1
}

(cd "$build" && cpack -G ZIP >/dev/null)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
top=TREVLIN-$version-win64
zip=$build/$top.zip
[ -f "$zip" ] || fail "no $zip"
listing=$(unzip -Z1 "$zip")
for f in TREVLIN.exe README.md README-Windows.txt LICENSE include/HOLVANE_LiDAR.h lib/libholvane_lidar.a; do
  grep -qx "$top/$f" <<<"$listing" || fail "$top.zip lacks $f"
done
echo "ok: $top.zip holds the program, README, licence, header and library"

guide=$(mktemp)
unzip -p "$zip" "$top/README-Windows.txt" >"$guide"
[ "$(head -c 3 "$guide" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "README-Windows.txt lacks its byte-order mark"
perl -0777 -ne 'exit(/(?<!\r)\n/ ? 1 : 0)' "$guide" || fail "README-Windows.txt has a line end without CR"
rm -f "$guide"
echo "ok: README-Windows.txt is UTF-8 with a byte-order mark and CR LF line ends"

# Names must reach Windows as UTF-16 and positions in 64 bits: no ANSI
# file call, and no call that seeks or tells through a 32-bit long.
imports=$(x86_64-w64-mingw32-objdump -p "$build/TREVLIN.exe" | awk '/DLL Name:/ { inside = 1 } inside && NF >= 3 && $1 ~ /^[0-9a-f]+$/ { print $3 }')
forbidden=$(grep -xE 'CreateFileA|DeleteFileA|MoveFileExA|MoveFileA|GetFileAttributesA|GetFileAttributesExA|FindFirstFileA|fopen|freopen|_open|_sopen|_stat|_stat64|_access|remove|rename|fseek|ftell|_lseek|_tell' <<<"$imports" || true)
[ -z "$forbidden" ] || fail "TREVLIN.exe imports $(echo $forbidden)"
echo "ok: no ANSI file call and no 32-bit position call among $(wc -l <<<"$imports") imports"

dlls=$(x86_64-w64-mingw32-objdump -p "$build/TREVLIN.exe" | sed -n 's/^\s*DLL Name: //p')
echo "TREVLIN.exe imports: $(echo $dlls)"
for dll in $dlls; do
  case ${dll,,} in
  kernel32.dll | msvcrt.dll | user32.dll | advapi32.dll | shell32.dll | ucrtbase.dll | api-ms-win-*) ;;
  *) fail "TREVLIN.exe needs $dll, which a bare Windows lacks" ;;
  esac
done
echo "ok: no DLL beyond Windows' own"
