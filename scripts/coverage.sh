#!/usr/bin/env bash
# The line and branch coverage of the product's files by the whole suite, unit and end
# to end: a Debug tree built with --coverage (build/coverage), every test run in it,
# and gcovr's summary. Tests that fail are named; the figures are of what ran.
#   scripts/coverage.sh [--html]   --html also writes build/coverage/coverage.html
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/apt_install.sh
apt_install gcovr

tree=build/coverage
options=(-G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=--coverage
  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DBUILD_TESTING=ON -DMELODOCK_BENCH=OFF)
command -v ccache >/dev/null 2>&1 && options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B $tree "${options[@]}" >/dev/null
cmake --build $tree
find $tree -name '*.gcda' -delete
ctest --test-dir $tree --timeout 300 -j2 --output-on-failure >$tree/tests.log 2>&1 ||
  grep -E '^[[:space:]]*[0-9]+ - ' $tree/tests.log >&2 || true

filters=()
for folder in app base bridge host mcp music platform ui; do
  filters+=(--filter "$folder/")
done
report=()
[ "${1:-}" = --html ] && report=(--html-details $tree/coverage.html)
gcovr --root . --object-directory $tree "${filters[@]}" --exclude '.*_test\.cpp' \
  --print-summary "${report[@]}" >$tree/coverage.txt
tail -3 $tree/coverage.txt
