#!/usr/bin/env bash
# .ci/install-deps on a machine where a package is installed for two
# architectures, through a fake dpkg and apt-get in PATH: it must find
# every package installed and install nothing; and a package that is
# missing must still be installed.
set -euo pipefail
script=$(cd "$(dirname "$0")/../.." && pwd)/.ci/install-deps
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
# zlib1g-dev is installed for amd64 and i386: its bare name is ambiguous,
# as dpkg says it; "absent" is not installed at all.
cat >"$work/bin/dpkg" <<'FAKE'
#!/usr/bin/env bash
case "$*" in
  --print-architecture) echo amd64 ;;
  "-s zlib1g-dev") echo "dpkg-query: error: --status needs a valid package name but 'zlib1g-dev' is not: ambiguous package name 'zlib1g-dev' with more than one installed instance" >&2; exit 2 ;;
  "-s zlib1g-dev:amd64" | "-s cmake") echo "Status: install ok installed" ;;
  *) echo "dpkg-query: package '${2:-}' is not installed" >&2; exit 1 ;;
esac
FAKE
cat >"$work/bin/apt-get" <<'FAKE'
#!/usr/bin/env bash
echo "apt-get $*" >>"$(dirname "$0")/../apt.log"
FAKE
chmod +x "$work/bin/dpkg" "$work/bin/apt-get"
PATH="$work/bin:$PATH" bash "$script" cmake zlib1g-dev
if [ -e "$work/apt.log" ]; then
  echo "installed packages were taken for missing ones:"
  cat "$work/apt.log"
  exit 1
fi
PATH="$work/bin:$PATH" bash "$script" cmake zlib1g-dev absent >/dev/null
grep -q 'install -y --no-install-recommends absent$' "$work/apt.log" || {
  echo "a missing package was not installed:"
  cat "$work/apt.log"
  exit 1
}
echo "install-deps: multi-architecture packages are found installed"
