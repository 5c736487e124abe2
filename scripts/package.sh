#!/usr/bin/env bash
# Builds the Debian package from a Release tree that holds only what the app needs (no
# tests), installing for /usr, and prints the package's path.
#   scripts/package.sh [-B TREE] [CMAKE OPTION...]
# TREE is build/package unless given. The options go to cmake when it configures the
# tree; they are how a packager sets the outside values, for example
#   scripts/package.sh -DMELODOCK_SUPPORT_ADDRESS=… -DMELODOCK_SITE_URL=https://…
set -euo pipefail
cd "$(dirname "$0")/.."
tree=build/package
if [ "${1:-}" = -B ]; then
  tree=$2
  shift 2
fi

scripts/setup.sh --packages-only >&2

options=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DMELODOCK_BENCH=OFF
  -DCMAKE_INSTALL_PREFIX=/usr)
command -v ccache >/dev/null 2>&1 && options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$tree" "${options[@]}" "$@" >&2
cmake --build "$tree" --target package >&2
ls "$tree"/melodock_*.deb
