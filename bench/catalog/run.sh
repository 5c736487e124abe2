#!/usr/bin/env bash
# Catalog benchmarks: build time, database size and search latency of the built-in
# catalog and of synthetic catalogs of 100,000 and 1,000,000 songs (made by
# melodock-synthetic-catalog from the built-in data set's words, seed 1). For each
# catalog: melodock-bench-catalog builds it and times Catalog::search in-process, then
# the real app is started on that catalog (a copy of the binary with the database
# beside it, every user folder in a temporary home) and melodock-bench-search-endpoint
# times the search_catalog tool through the MCP endpoint over loopback.
#   bench/catalog/run.sh                # BENCH_QUERIES=3000 BENCH_LIMIT=25
# Needs about 1 GB in a temporary folder and a few minutes; nothing here runs in CI.
set -euo pipefail
cd "$(dirname "$0")/../.."

tree=build/default
queries=${BENCH_QUERIES:-3000}
limit=${BENCH_LIMIT:-25}
[ -f $tree/build.ninja ] || scripts/setup.sh
cmake --build $tree --target melodock melodock_bench_catalog melodock_synthetic_catalog \
  melodock_bench_search_endpoint >/dev/null

work=$(mktemp -d)
source bench/app_home.sh
source bench/ports.sh

# Starts the app whose binary and catalog.sqlite are in $1, authorized for Apple Music.
start_app() {
  local folder=$1
  rm -rf "$work/home"
  for sub in config/melodock data cache run music; do mkdir -p "$work/home/$sub"; done
  chmod 700 "$work/home/run"
  port=$(free_port)
  token=$(od -An -N24 -tx1 /dev/urandom | tr -d ' \n')
  printf '{"port":%s,"token":"%s","musicAuthorization":"authorized"}\n' "$port" "$token" \
    >"$work/home/config/melodock/settings.json"
  cp $tree/melodock "$folder/melodock"
  "$folder/melodock" </dev/null >"$work/app.out" 2>&1 &
  app=$!
  for _ in $(seq 300); do
    grep -q "listening on" "$work/app.out" 2>/dev/null && return 0
    sleep 0.1
  done
  cat "$work/app.out" >&2
  exit 1
}

measure() {
  local name=$1 data=$2
  echo "== $name"
  $tree/bench/catalog/melodock-bench-catalog "$data" "$work/$name" "$queries"
  start_app "$work/$name"
  $tree/bench/catalog/melodock-bench-search-endpoint "$data" "$port" "$token" "$queries" "$limit"
  stop_app
}

measure built-in data/catalog
for songs in 100000 1000000; do
  $tree/bench/catalog/melodock-synthetic-catalog data/catalog "$work/data-$songs" "$songs"
  measure "$songs" "$work/data-$songs"
  rm -rf "$work/data-$songs" "$work/$songs"
done
