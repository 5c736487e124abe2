#!/usr/bin/env bash
# Installs the Debian packages Melodock needs (only those missing) and configures the
# build trees, with warnings as errors.
#   scripts/setup.sh          what building and running needs; configures build/default
#   scripts/setup.sh --tests  that and what the tests and checks need; configures
#                             build/default with tests and build/asan (AddressSanitizer
#                             and UndefinedBehaviorSanitizer)
#   scripts/setup.sh --packages-only  what building needs, configuring no tree (the
#                             package script configures its own)
# Benchmark-only packages are bench/setup.sh's business.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/apt_install.sh

# Building and running Melodock, and its package (icons drawn at build time, the
# package's dependencies from dpkg-shlibdeps).
build_packages=(
  cmake ninja-build g++ pkg-config
  libasio-dev nlohmann-json3-dev libcurl4-openssl-dev libsqlite3-dev
  libsdbus-c++-dev libicu-dev libtag1-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  qt6-base-dev qt6-svg-dev
  librsvg2-bin
  dpkg-dev file
)

# The tests (tests/, the e2e suite's node, the fuzzers' clang) and the checks CI runs
# (.ci/run).
test_packages=(
  googletest libgtest-dev libgmock-dev
  clang-format clang-tidy clang libclang-rt-14-dev
  dbus dbus-daemon python3-dbusmock
  playerctl gstreamer1.0-tools
  xvfb xauth x11-utils tesseract-ocr tesseract-ocr-eng
  desktop-file-utils appstream lintian
)
command -v node >/dev/null 2>&1 || test_packages+=(nodejs npm)

tests=OFF
case "${1:-}" in
  "") ;;
  --tests) tests=ON ;;
  --packages-only)
    apt_install "${build_packages[@]}"
    exit 0
    ;;
  *)
    echo "usage: scripts/setup.sh [--tests | --packages-only]" >&2
    exit 2
    ;;
esac

if [ $tests = ON ]; then
  apt_install "${build_packages[@]}" "${test_packages[@]}"
  # Again whenever the lock file changed since the last install.
  if [ ! -f tests/e2e/node_modules/.package-lock.json ] ||
    [ tests/e2e/package-lock.json -nt tests/e2e/node_modules/.package-lock.json ]; then
    (cd tests/e2e && npm ci --no-audit --no-fund --loglevel=error)
  fi
else
  apt_install "${build_packages[@]}"
fi

options=(-G Ninja -DMELODOCK_WERROR=ON)
if command -v ccache >/dev/null 2>&1; then
  options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# A new tree gets every option. An existing one keeps its own settings, except that its
# warnings become errors and, when tests are asked for, it gains them.
configure() {
  local tree=$1
  shift
  if [ ! -f "$tree/build.ninja" ]; then
    cmake -S . -B "$tree" "${options[@]}" "$@"
    return
  fi
  local cache=$tree/CMakeCache.txt wanted=()
  grep -q '^MELODOCK_WERROR:BOOL=ON$' "$cache" || wanted+=(-DMELODOCK_WERROR=ON)
  if [ $tests = ON ] && ! grep -q '^BUILD_TESTING:BOOL=ON$' "$cache"; then
    wanted+=(-DBUILD_TESTING=ON)
  fi
  if [ ${#wanted[@]} -gt 0 ]; then cmake -S . -B "$tree" "${wanted[@]}"; fi
}

configure build/default -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=$tests
if [ $tests = ON ]; then
  configure build/asan -DCMAKE_BUILD_TYPE=Debug -DMELODOCK_SANITIZE=ON -DMELODOCK_BENCH=OFF
fi
