#!/usr/bin/env bash
# The Debian packages, made from the build folder's programs into BUILD/package-test by the
# "build" step, then checked one aspect per step (each a CTest test):
#   build     makes them (the fixture the other steps need)
#   contents  file lists, dependencies, maintainer scripts
#   lintian   no error from lintian
#   units     the packaged systemd units pass systemd-analyze verify
#   manpages  every page renders without a warning and names what --help names
#   install   unpacked into a throwaway root, the programs run
# A step whose tool is missing exits 77 (skipped) and says which.
set -euo pipefail
step="${1:?usage: deb_test.sh STEP BUILD-FOLDER VERSION SOURCE-FOLDER}"
build="$(cd "$2" && pwd)"
version="$3"
source_dir="$4"
work="$build/package-test"
fail() { echo "FAIL: $*" >&2; exit 1; }
need() { command -v "$1" >/dev/null 2>&1 || { echo "$1 not installed: skipped"; exit 77; }; }

need dpkg-deb
arch="$(dpkg --print-architecture)"
server="$work/sproutsmith_${version}_${arch}.deb"
window="$work/sproutsmith-window_${version}_${arch}.deb"
if [ "$step" != build ]; then
  [ -f "$server" ] && [ -f "$window" ] || fail "the packages were not made (see the build step)"
fi
# Unpacks both packages into one throwaway root, as installing them would lay them out.
unpacked() {
  local root="$work/root-$step"
  rm -rf "$root"
  dpkg-deb -x "$server" "$root"
  dpkg-deb -x "$window" "$root"
  echo "$root"
}

case "$step" in
build)
  need cpack
  rm -rf "$work"
  "$source_dir/packaging/make_packages.sh" "$build" "$work"
  ;;

contents)
  # Regular files and links of each package, against the layout an installed system expects.
  expect_server="./usr/bin/sproutsmith
./usr/bin/sproutsmith-admin
./usr/bin/sproutsmith-dm
./usr/lib/systemd/system/sproutsmith-loop.service
./usr/lib/systemd/system/sproutsmith.service
./usr/lib/systemd/system/sproutsmith.timer
./usr/lib/sysusers.d/sproutsmith.conf
./usr/share/doc/sproutsmith/README.md
./usr/share/doc/sproutsmith/changelog.gz
./usr/share/doc/sproutsmith/copyright
./usr/share/doc/sproutsmith/examples/dm.conf
./usr/share/man/man1/sproutsmith-dm.1.gz
./usr/share/man/man1/sproutsmith.1.gz
./usr/share/man/man8/sproutsmith-admin.8.gz"
  expect_window="./usr/bin/sproutsmith-window
./usr/share/applications/sproutsmith-window.desktop
./usr/share/doc/sproutsmith-window/changelog.gz
./usr/share/doc/sproutsmith-window/copyright
./usr/share/icons/hicolor/scalable/apps/sproutsmith.svg
./usr/share/man/man1/sproutsmith-window.1.gz"
  for pair in "server:$server" "window:$window"; do
    name="${pair%%:*}"
    deb="${pair#*:}"
    expected="expect_$name"
    got="$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sort)"
    [ "$got" = "${!expected}" ] || fail "$(basename "$deb") holds:
$got
expected:
${!expected}"
    # Everything belongs to root; programs are executable, the rest is not.
    dpkg-deb -c "$deb" | awk '$2 != "root/root" { print "owner " $2 ": " $6; bad = 1 }
      $1 ~ /^-/ && ($6 ~ /usr\/bin\//) != ($1 ~ /x/) { print "mode " $1 ": " $6; bad = 1 }
      END { exit bad }' || fail "$(basename "$deb"): wrong owners or modes"
  done

  server_depends="$(dpkg-deb -f "$server" Depends)"
  window_depends="$(dpkg-deb -f "$window" Depends)"
  echo "sproutsmith Depends: $server_depends"
  echo "sproutsmith-window Depends: $window_depends"
  # Computed from the binaries: the libraries they link, Qt only for the window.
  for lib in libc6 libstdc++6 libsqlite3-0 libpq5; do
    grep -q "\b$lib\b" <<<"$server_depends" || fail "sproutsmith does not depend on $lib"
  done
  if grep -qi 'qt' <<<"$server_depends"; then fail "sproutsmith depends on Qt"; fi
  grep -q "sproutsmith (= $version)" <<<"$window_depends" ||
    fail "sproutsmith-window does not depend on this sproutsmith"
  grep -q 'libqt6widgets6' <<<"$window_depends" || fail "sproutsmith-window lacks Qt's Widgets"

  control="$work/control"
  rm -rf "$control"
  dpkg-deb -e "$server" "$control"
  for script in postinst prerm postrm; do
    [ -x "$control/$script" ] || fail "sproutsmith has no executable $script"
  done
  ;;

lintian)
  need lintian
  # Errors fail; warnings and notes are shown. Run as root, lintian must be told it may.
  out="$(lintian --allow-root --tag-display-limit 0 "$server" "$window" 2>&1)" || true
  echo "$out"
  if grep -q '^E: ' <<<"$out"; then fail "lintian reports errors"; fi
  ;;

units)
  root="$(unpacked)"
  "$source_dir/packaging/verify_units.sh" "$root/usr/bin/sproutsmith" "$root/usr/lib/systemd/system"
  ;;

manpages)
  need groff
  need zcat
  root="$(unpacked)"
  for page in man1/sproutsmith.1 man8/sproutsmith-admin.8 man1/sproutsmith-dm.1 \
              man1/sproutsmith-window.1; do
    file="$root/usr/share/man/$page.gz"
    program="$(basename "${page%.*}")"
    [ -f "$file" ] || fail "no page $page"
    warnings="$(zcat "$file" | groff -man -Tutf8 -ww -z 2>&1)"
    [ -z "$warnings" ] || fail "$page: $warnings"
    text="$(zcat "$file" | groff -man -Tascii -P-cbou 2>/dev/null)"
    grep -q "^NAME" <<<"$text" || fail "$page has no NAME"
    # Every switch, option and command the program's --help names is on its page.
    words="$("$build/$program" --help | grep -oE '(^|[ ,])(/[A-Z?]+|--?[a-z][a-z-]*)' |
             tr -d ' ,' | sort -u)"
    [ -n "$words" ] || fail "$program --help names nothing"
    for word in $words; do
      grep -qF -- "$word" <<<"$text" || fail "$page lacks $word of $program --help"
    done
    echo "$page: $(wc -l <<<"$text") lines, every word of --help"
  done
  ;;

install)
  root="$(unpacked)"
  bin="$root/usr/bin"
  for program in sproutsmith sproutsmith-admin sproutsmith-dm sproutsmith-window; do
    got="$("$bin/$program" --version)"
    [[ "$got" =~ ^$program\ ${version//./\\.}\ \(commit\ ([0-9a-f]{12}(-dirty)?|unknown)\)$ ]] ||
      fail "$program --version says: $got"
  done
  # The unpacked programs on their own, with a DM installation of their own.
  home="$work/home-$step"
  rm -rf "$home"
  mkdir -p "$home"
  export XDG_CONFIG_HOME="$home/config" TEMP="$home/temp" SPROUTSMITH_DM="$home/dm/dm.conf"
  mkdir -p "$TEMP"
  "$bin/sproutsmith-dm" init-demo --dir "$home/dm" >/dev/null || fail "sproutsmith-dm init-demo"
  status=0
  "$bin/sproutsmith" /G /X /NL 2>"$home/stderr" || status=$?
  [ "$status" -eq 0 ] || fail "sproutsmith /G /X /NL exited $status: $(cat "$home/stderr")"
  grep -q '^Outcome: finished (exit 0)' "$home/stderr" || fail "no outcome line"
  "$bin/sproutsmith-admin" libraries | grep -q 'DEMO' || fail "sproutsmith-admin libraries"
  # The libraries they need are this system's: apt would install both packages as they are.
  if command -v apt-get >/dev/null 2>&1; then
    apt-get install --simulate --no-download -qq "$server" "$window" >"$work/apt.log" 2>&1 ||
      { cat "$work/apt.log"; fail "apt-get cannot install the packages"; }
  else
    echo "apt-get not installed: dependencies not resolved"
  fi
  echo "installed in $root and ran"
  ;;

*)
  fail "unknown step $step"
  ;;
esac
