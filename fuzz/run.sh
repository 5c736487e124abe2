#!/usr/bin/env bash
# Builds the fuzzers with clang, libFuzzer, AddressSanitizer and UndefinedBehavior-
# Sanitizer, and runs each for SECONDS (default 60) from its seed corpus. What a run
# finds stays in build/fuzz/corpus/NAME, never in fuzz/corpus; a crash leaves its input
# in build/fuzz/crashes and fails the run. Prints the executions of each and in all.
#   fuzz/run.sh [SECONDS] [NAME...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
[ $# -gt 0 ] && shift
names=("$@")
[ ${#names[@]} -gt 0 ] || names=(http_request_head jsonrpc_message bridge_lines web_api_url)

tree=build/fuzz
# Asio only turns its coroutines on for clang when told; the product's trees are GCC's.
CC=clang CXX=clang++ cmake -S . -B $tree -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="-DASIO_HAS_CO_AWAIT=1" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
  -DMELODOCK_FUZZ=ON -DMELODOCK_SANITIZE=ON -DBUILD_TESTING=OFF -DMELODOCK_BENCH=OFF >/dev/null
cmake --build $tree --target "${names[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p $tree/crashes
status=0
total=0
for name in "${names[@]}"; do
  mkdir -p $tree/corpus/$name
  log=$tree/$name.log
  if ! $tree/fuzz/fuzz_$name -max_total_time="$seconds" -max_len=65536 -timeout=30 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=$tree/crashes/$name- \
    $tree/corpus/$name fuzz/corpus/$name >"$log" 2>&1; then
    echo "$name: FAILED (input in $tree/crashes)"
    tail -40 "$log"
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  echo "$name: ${runs:-0} executions in $seconds s"
  total=$((total + ${runs:-0}))
done
echo "all: $total executions"
exit $status
