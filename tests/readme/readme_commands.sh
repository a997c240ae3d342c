#!/usr/bin/env bash
# Runs every ```sh block of the README as written, in order, on a fresh demo installation
# that has had one cycle (as scripts/demo leaves it), with the build folder as build/. A
# block right after a line "<!-- readme-test: skip REASON -->" is not run: it needs root, a
# server, a display, or is the README's own set-up commands. So the README cannot drift
# from the programs.
# Usage: readme_commands.sh BUILD_DIR README
set -euo pipefail
build="$(cd "$1" && pwd)"
readme="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" TEMP="$work/temp"
unset SPROUTSMITH_DM LOGS_DIRECTORY TMPDIR DISPLAY WAYLAND_DISPLAY
mkdir -p "$HOME" "$TEMP"
ln -s "$build" "$work/build"
cd "$work"

build/sproutsmith-dm init-demo >/dev/null
if ! build/sproutsmith /G /X 2>"$work/cycle.err"; then
  echo "readme_commands: the demo cycle failed:" >&2
  cat "$work/cycle.err" >&2
  exit 1
fi

# Each block into blocks/N.sh, with the README line it starts on; skipped blocks are left out.
mkdir blocks
awk -v dir=blocks '
  /^<!-- readme-test: skip/ { skip = 1; next }
  /^```sh$/ && !inside { inside = 1; n++; file = sprintf("%s/%02d.sh", dir, n);
                         if (skip) file = "/dev/null"; print "# README line " NR + 1 > file;
                         skip = 0; next }
  /^```$/ && inside { inside = 0; close(file); next }
  inside { print > file; next }
  { if ($0 != "") skip = 0 }
' "$readme"

ran=0
for block in blocks/*.sh; do
  [ -e "$block" ] || continue
  if ! bash -e -o pipefail "$block" >"$work/out" 2>&1 </dev/null; then
    echo "readme_commands: a README block failed ($(head -n 1 "$block")):" >&2
    sed 1d "$block" >&2
    echo "--- its output:" >&2
    tail -n 30 "$work/out" >&2
    exit 1
  fi
  ran=$((ran + 1))
done
echo "readme_commands: $ran block(s) of $readme ran as written"
[ "$ran" -gt 0 ]
