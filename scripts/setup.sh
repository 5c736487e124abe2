#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (only those missing) and
# configures the two build trees: build/default and build/asan (AddressSanitizer and
# UndefinedBehaviorSanitizer).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build g++ pkg-config
  libasio-dev nlohmann-json3-dev libcurl4-openssl-dev libsqlite3-dev
  libicu-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  nginx-light curl
)
command -v node >/dev/null 2>&1 || packages+=(nodejs npm)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if [ -f tests/e2e/package.json ] && [ ! -d tests/e2e/node_modules ]; then
  (cd tests/e2e && npm ci --no-audit --no-fund --loglevel=error)
fi

[ -f build/default/build.ninja ] || cmake -S . -B build/default -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
[ -f build/asan/build.ninja ] || cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMELODOCK_SANITIZE=ON
