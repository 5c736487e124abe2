#!/usr/bin/env bash
# tools/call now_playing in the two protocol eras on one app, taking turns: the app's
# CPU time per request from /proc, which a busy machine moves far less than requests/s.
#   bench/eras.sh                 # c=16, 4 s per load, 4 rounds
#   BENCH_BINARY=path/to/melodock BENCH_ROUNDS=6 bench/eras.sh   # another build of the app
#   BENCH_CALLGRIND=1 bench/eras.sh   # the app under callgrind, c=4: instructions per
#                                     # request in user space, steady however busy the machine
# One POST per fresh connection, as run.sh sends them; nothing here runs in CI.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${BENCH_SECONDS:-4}
concurrency=${BENCH_CONCURRENCY:-16}
rounds=${BENCH_ROUNDS:-4}
tree=build/default
cmake --build $tree --target melodock melodock_bench_load >/dev/null
binary=${BENCH_BINARY:-$tree/melodock}

work=$(mktemp -d)
source bench/app_home.sh
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
token=$(od -An -N24 -tx1 /dev/urandom | tr -d ' \n')
printf '{"port":%s,"token":"%s","musicAuthorization":"authorized"}\n' "$port" "$token" \
  >"$home/config/melodock/settings.json"
if [ "${BENCH_CALLGRIND:-0}" = 1 ]; then
  # No GStreamer plugin is loaded: one of them runs an instruction valgrind cannot.
  mkdir -p "$work/no-plugins"
  concurrency=4
  GST_PLUGIN_SYSTEM_PATH_1_0="$work/no-plugins" GST_PLUGIN_PATH_1_0="$work/no-plugins" \
    GST_REGISTRY_1_0="$work/registry.bin" valgrind --tool=callgrind \
    --callgrind-out-file="$work/callgrind.out" "$binary" </dev/null >"$work/app.out" 2>&1 &
else
  "$binary" </dev/null >"$work/app.out" 2>&1 &
fi
app=$!
for _ in $(seq 600); do
  grep -q "listening on" "$work/app.out" 2>/dev/null && break
  sleep 0.1
done
[ "${BENCH_CALLGRIND:-0}" = 1 ] && sleep 3  # past the start-up work

ticks=$(getconf CLK_TCK)
cpu() { awk '{ print $14 + $15 }' "/proc/$app/stat"; }  # utime + stime, in ticks
meta='"_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28","io.modelcontextprotocol/clientInfo":{"name":"bench","version":"1"},"io.modelcontextprotocol/clientCapabilities":{}}'
earlier=(--header "MCP-Protocol-Version: 2025-06-18"
  --body '{"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"now_playing","arguments":{}}}'
  --expect '"content"')
modern=(--header "MCP-Protocol-Version: 2026-07-28" --header "Mcp-Method: tools/call"
  --header "Mcp-Name: now_playing"
  --body '{"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"now_playing","arguments":{},'"$meta"'}}'
  --expect '"resultType":"complete"')

# Prints the era, requests/s and the app's CPU µs per request of one load (under
# callgrind: thousands of instructions per request).
load() {
  local era=$1
  shift
  local before after line rate
  [ "${BENCH_CALLGRIND:-0}" = 1 ] && callgrind_control -z "$app" >/dev/null 2>&1
  before=$(cpu)
  line=$($tree/bench/melodock_bench_load --port "$port" --concurrency "$concurrency" \
    --seconds "$seconds" --warmup 0 --header "Authorization: Bearer $token" "$@")
  after=$(cpu)
  rate=$(awk '{ for (i = 1; i < NF; i++) if ($(i + 1) == "req/s") print $i }' <<<"$line")
  if [ "${BENCH_CALLGRIND:-0}" = 1 ]; then
    rm -f "$work"/callgrind.out.*
    callgrind_control -d "$app" >/dev/null 2>&1
    awk -v era="$era" -v rate="$rate" -v s="$seconds" '$1 == "summary:" {
        printf "%-8s %7d req/s  %6.1f kIr/request\n", era, rate, $2 / 1000 / (rate * s) }' \
      "$work"/callgrind.out.*
    return
  fi
  awk -v era="$era" -v rate="$rate" -v cpu=$((after - before)) -v t="$ticks" -v s="$seconds" \
    'BEGIN { printf "%-8s %7d req/s  %6.1f us/request\n", era, rate, cpu / t * 1e6 / (rate * s) }'
}

echo "$binary: fresh connection per POST, c=$concurrency, ${seconds}s each, $rounds rounds"
for round in $(seq "$rounds"); do
  load earlier "${earlier[@]}" | tee -a "$work/results"
  load modern "${modern[@]}" | tee -a "$work/results"
done
awk '{ rate[$1] += $2; us[$1] += $4; n[$1]++ }
  END { printf "modern / earlier: %.2fx in cost per request, %.2fx in requests/s\n",
        (us["earlier"] / n["earlier"]) / (us["modern"] / n["modern"]), rate["modern"] / rate["earlier"] }' \
  "$work/results"
