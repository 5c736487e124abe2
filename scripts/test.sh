#!/usr/bin/env bash
# Sets up, builds and runs every test: once in the normal build, once under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tests

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for tree in default asan; do
  echo "== $tree build =="
  cmake --build build/$tree
  ctest --test-dir build/$tree --output-on-failure --timeout 300 -j"$(nproc)" || status=1
done
exit $status
