#!/usr/bin/env bash
# Catalog benchmarks: build time, database size and search latency of the built-in
# catalog and of synthetic catalogs of 100,000 and 1,000,000 songs (made by
# melodock-synthetic-catalog from the built-in data set's words, seed 1). Needs about
# 1 GB in a temporary folder and a few minutes; nothing here runs in CI.
set -euo pipefail
cd "$(dirname "$0")/../.."

tree=build/default
queries=${BENCH_QUERIES:-3000}
[ -f $tree/build.ninja ] || scripts/setup.sh
cmake --build $tree --target melodock_bench_catalog melodock_synthetic_catalog >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "== built-in"
$tree/bench/catalog/melodock-bench-catalog data/catalog "$work/built-in" "$queries"
for songs in 100000 1000000; do
  echo "== $songs songs"
  $tree/bench/catalog/melodock-synthetic-catalog data/catalog "$work/data-$songs" "$songs"
  $tree/bench/catalog/melodock-bench-catalog "$work/data-$songs" "$work/$songs" "$queries"
  rm -rf "$work/data-$songs" "$work/$songs"
done
