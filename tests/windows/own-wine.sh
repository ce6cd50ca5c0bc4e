# Sourced by the Windows checks that need a wine prefix of their own: sets
# wine, wineserver and a scratch directory $work holding the prefix, and
# ends the prefix's server before removing $work when the script exits.
wine=${WINE:-/usr/lib/wine/wine64}
wineserver=${WINESERVER:-$(dirname "$wine")/wineserver}
work=$(mktemp -d)
export WINEDEBUG=-all LC_ALL=C.UTF-8 WINEPREFIX=$work/wine
own_wine_clean_up() {
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w >/dev/null 2>&1 || true
  rm -rf "$work" 2>/dev/null || true
}
trap own_wine_clean_up EXIT
