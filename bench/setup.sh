#!/usr/bin/env bash
# Installs what the benchmarks need besides Melodock's own build (only what is missing):
# curl and node with the SDK comparison server's npm packages, and an nginx binary for
# the fixed-answer peer. bench/run.sh runs nginx with a configuration of its own, so no
# nginx package is installed: its install scripts would enable and start a system
# service. Debian's nginx binary is unpacked under build/bench/ instead, unless the
# machine already has one.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/apt_install.sh

bench_packages=(
  curl
  # What Debian's nginx binary links against.
  libcrypt1 libpcre2-8-0 libssl3 zlib1g
)
command -v node >/dev/null 2>&1 || bench_packages+=(nodejs npm)
apt_install "${bench_packages[@]}"

[ -f build/default/build.ninja ] || scripts/setup.sh

if [ ! -d bench/sdk-server/node_modules ]; then
  (cd bench/sdk-server && npm ci --no-audit --no-fund --loglevel=error)
fi

if [ ! -x /usr/sbin/nginx ] && [ ! -x build/bench/nginx/usr/sbin/nginx ]; then
  download=$(mktemp -d)
  chmod 755 "$download"  # apt fetches as its own user
  trap 'rm -rf "$download"' EXIT
  # Package lists may be missing on a fresh machine.
  (cd "$download" && { apt-get download -qq nginx 2>/dev/null ||
    { as_root apt-get update -qq && apt-get download -qq nginx; }; })
  mkdir -p build/bench/nginx
  dpkg-deb -x "$download"/nginx_*.deb build/bench/nginx
fi
