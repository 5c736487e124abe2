#!/usr/bin/env bash
# Sets up, builds and starts Melodock in the foreground (Ctrl-C ends it). Installs only
# what building and running needs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --build build/default --target melodock
exec build/default/melodock "$@"
