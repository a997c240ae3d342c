#!/bin/sh
# Writes the manual page of a built program from its --help text, word for word (a no-fill
# block, so it reads as the program prints it), between the NAME line and the extra sections
# of EXTRA: its first line is the NAME text, the rest roff appended after DESCRIPTION.
#   make_page.sh PROGRAM SECTION VERSION EXTRA OUTPUT
set -eu
program="$1" section="$2" version="$3" extra="$4" output="$5"
name="$(basename "$program")"
case "$section" in
  8) manual="System Administration Utilities" ;;
  *) manual="User Commands" ;;
esac
# The release's date: the version (year.month.day) read as a date.
date="$(echo "$version" | awk -F. '{ printf "%04d-%02d-%02d", $1, $2, $3 }')"
help="$(mktemp)"
trap 'rm -f "$help"' EXIT
"$program" --help >"$help"
# Plain text for roff: backslashes, minus signs, and lines that would read as requests.
roff() { sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"; }
{
  printf '.TH %s %s "%s" "%s %s" "%s"\n' "$(echo "$name" | tr 'a-z' 'A-Z')" "$section" "$date" \
    "$name" "$version" "$manual"
  echo '.SH NAME'
  head -n 1 "$extra"
  echo '.SH SYNOPSIS'
  # "Usage: NAME REST" and its indented continuation lines; the rest is the description.
  awk 'NR == 1 { sub(/^Usage: +/, ""); print; next } /^ / { sub(/^ +/, ""); print; next }
       { exit }' "$help" | roff | sed -e '1s/^\([^ ]*\) *\(.*\)$/.B \1\n\2/' -e '2,$s/^/.br\n/'
  echo '.SH DESCRIPTION'
  echo '.nf'
  awk 'NR > 1 && !/^ / { body = 1 } body && (text || !/^$/) { text = 1; print }' "$help" | roff
  echo '.fi'
  tail -n +2 "$extra"
} >"$output.tmp"
mv "$output.tmp" "$output"
