#!/usr/bin/env bash
# Makes the Debian packages from a build folder whose programs and manual pages are built
# (CPack runs the install rules of packaging/CMakeLists.txt; nothing is compiled), into OUT.
set -euo pipefail
build="${1:?usage: make_packages.sh BUILD-FOLDER OUT-FOLDER}"
out="${2:?usage: make_packages.sh BUILD-FOLDER OUT-FOLDER}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
rm -f "$out"/*.deb
cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || {
  cat "$out/cpack.log" >&2
  exit 1
}
rm -rf "$out/_CPack_Packages"
ls "$out"/*.deb
