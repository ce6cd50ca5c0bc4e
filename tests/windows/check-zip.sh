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
for f in TREVLIN.exe README.md LICENSE include/HOLVANE_LiDAR.h lib/libholvane_lidar.a; do
  grep -qx "$top/$f" <<<"$listing" || fail "$top.zip lacks $f"
done
echo "ok: $top.zip holds the program, README, licence, header and library"

dlls=$(x86_64-w64-mingw32-objdump -p "$build/TREVLIN.exe" | sed -n 's/^\s*DLL Name: //p')
echo "TREVLIN.exe imports: $(echo $dlls)"
for dll in $dlls; do
  case ${dll,,} in
  kernel32.dll | msvcrt.dll | user32.dll | advapi32.dll | ucrtbase.dll | api-ms-win-*) ;;
  *) fail "TREVLIN.exe needs $dll, which a bare Windows lacks" ;;
  esac
done
echo "ok: no DLL beyond Windows' own"
