#!/usr/bin/env bash
# Checks the systemd units with systemd-analyze verify, on copies whose ExecStart names the
# program given (the built one, or one unpacked from the package) in place of
# /usr/bin/sproutsmith. The units are those of packaging/, or of UNIT-FOLDER when given.
# Exits 77 (skipped) where systemd-analyze is missing.
set -euo pipefail
program="${1:?usage: verify_units.sh PATH-TO-SPROUTSMITH [UNIT-FOLDER]}"
units="${2:-$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)}"
command -v systemd-analyze >/dev/null 2>&1 || { echo "systemd-analyze not found: skipped"; exit 77; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for unit in sproutsmith.service sproutsmith.timer sproutsmith-loop.service; do
  [ -f "$units/$unit" ] || { echo "$units/$unit: missing"; exit 1; }
  sed "s|^ExecStart=/usr/bin/sproutsmith |ExecStart=$program |" "$units/$unit" > "$work/$unit"
done
cd "$work"
output="$(systemd-analyze verify --man=no ./sproutsmith.service ./sproutsmith.timer \
  ./sproutsmith-loop.service 2>&1)" || { echo "$output"; exit 1; }
# verify reports some problems as warnings only; none is acceptable for these units.
if [ -n "$output" ]; then
  echo "$output"
  if echo "$output" | grep -v -i -e 'cgroup' -e 'Failed to .*bus' -e 'No such file or directory' -e 'Read-only file system' | grep -q .; then
    exit 1
  fi
fi
echo "systemd units verified"
