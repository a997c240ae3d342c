# Shared by scripts/demo and scripts/check: install what is missing, configure, build.
# Sourced, not run.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${SPROUTSMITH_BUILD_DIR_OVERRIDE:-$ROOT/build}"

# Debian packages the build, the tests, the demo and the packages need.
PACKAGES=(g++ cmake ninja-build pkg-config libsqlite3-dev sqlite3 libgtest-dev libgmock-dev
          postgresql libpq-dev qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
          desktop-file-utils dpkg-dev groff-base lintian)

ensure_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing missing packages: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
      echo "error: packages are missing and this is not root: ${missing[*]}" >&2
      exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# With target names, builds only those (the demo needs the programs, not the tests).
configure_and_build() {
  local werror="${CI:+ON}"
  cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DSPROUTSMITH_WERROR="${werror:-OFF}" >/dev/null
  if [ $# -gt 0 ]; then
    cmake --build "$BUILD_DIR" -j "$(nproc)" --target "$@"
  else
    cmake --build "$BUILD_DIR" -j "$(nproc)"
  fi
}
