#!/usr/bin/env bash
# Library benchmarks: a synthetic catalog (melodock-synthetic-catalog, seed 1) of
# BENCH_CATALOG_SONGS songs is built, melodock-bench-fill-library saves BENCH_SONGS of
# them to a library and records BENCH_PLAYS plays, then the real app is started on that
# catalog and library with both consents stored, and melodock-bench-library-endpoint
# times search_library and listening_history through the MCP endpoint over loopback.
#   bench/library/run.sh   # BENCH_SONGS=50000 BENCH_PLAYS=100000 BENCH_QUERIES=2000
# Works in a RAM disk when there is one (each play is one synced transaction); a few
# minutes; nothing here runs in CI.
set -euo pipefail
cd "$(dirname "$0")/../.."

tree=build/default
songs=${BENCH_SONGS:-50000}
plays=${BENCH_PLAYS:-100000}
queries=${BENCH_QUERIES:-2000}
catalog_songs=${BENCH_CATALOG_SONGS:-60000}
[ -f $tree/build.ninja ] || scripts/setup.sh
cmake --build $tree --target melodock melodock_bench_catalog melodock_synthetic_catalog \
  melodock_bench_fill_library melodock_bench_library_endpoint >/dev/null

work=$(mktemp -d -p "$([ -d /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")")
source bench/app_home.sh

echo "== catalog of $catalog_songs songs"
$tree/bench/catalog/melodock-synthetic-catalog data/catalog "$work/data" "$catalog_songs"
$tree/bench/catalog/melodock-bench-catalog "$work/data" "$work/app" 10 >/dev/null
echo "== library of $songs songs, $plays plays"
$tree/bench/library/melodock-bench-fill-library "$work/data" "$work/app/catalog.sqlite" \
  "$home/data/melodock/library.sqlite" "$songs" "$plays"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
token=$(od -An -N24 -tx1 /dev/urandom | tr -d ' \n')
printf '{"port":%s,"token":"%s","musicAuthorization":"authorized","sharePersonalData":true,"allowLibraryChanges":true}\n' \
  "$port" "$token" >"$home/config/melodock/settings.json"
cp $tree/melodock "$work/app/melodock"
"$work/app/melodock" </dev/null >"$work/app.out" 2>&1 &
app=$!
for _ in $(seq 300); do
  grep -q "listening on" "$work/app.out" 2>/dev/null && break
  sleep 0.1
done
grep -q "listening on" "$work/app.out" || { cat "$work/app.out" >&2; exit 1; }
$tree/bench/library/melodock-bench-library-endpoint "$work/data" "$port" "$token" "$queries"
