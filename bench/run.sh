#!/usr/bin/env bash
# Load benchmarks on loopback, every request on a fresh connection:
#   1. Melodock answering ping beside nginx answering a fixed 200 (keep-alive off);
#   2. tools/list and tools/call now_playing on Melodock beside a stateless server
#      built on the official MCP TypeScript SDK.
# Each load runs for BENCH_SECONDS (default 5) after a one-second warm-up at
# BENCH_CONCURRENCY (default 16). The two sides of a comparison take turns for
# BENCH_ROUNDS rounds (default 3), so that a machine whose speed drifts during the run
# favours neither; a ratio is the total of one side's requests/s over the other's.
# bench/setup.sh (run first) installs what the benchmarks need.
set -euo pipefail
cd "$(dirname "$0")/.."
bench/setup.sh

seconds=${BENCH_SECONDS:-5}
concurrency=${BENCH_CONCURRENCY:-16}
rounds=${BENCH_ROUNDS:-3}
tree=build/default

cmake --build $tree --target melodock melodock_bench_load >/dev/null
nginx=/usr/sbin/nginx
[ -x $nginx ] || nginx=build/bench/nginx/usr/sbin/nginx

work=$(mktemp -d)
source bench/processes.sh

# Melodock with a config folder of its own.
melodock_port=$(free_port)
token=$(od -An -N24 -tx1 /dev/urandom | tr -d ' \n')
mkdir -p "$work/config/melodock"
printf '{"port":%s,"token":"%s"}\n' "$melodock_port" "$token" >"$work/config/melodock/settings.json"
XDG_CONFIG_HOME="$work/config" $tree/melodock >"$work/melodock.out" 2>&1 &
pids+=($!)
await_line "$work/melodock.out" "listening on http://127.0.0.1:$melodock_port/mcp"

# nginx answering a fixed 200 on every path, every file under the work folder.
nginx_port=$(free_port)
mkdir -p "$work/nginx"
cat >"$work/nginx/nginx.conf" <<EOF
daemon off;
worker_processes auto;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
$([ "$(id -u)" -eq 0 ] && echo "user root;")
events { worker_connections 1024; }
http {
  access_log off;
  keepalive_timeout 0;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server {
    listen 127.0.0.1:$nginx_port;
    default_type application/json;
    location / { return 200 '{"id":1,"jsonrpc":"2.0","result":{}}'; }
  }
}
EOF
$nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" \
  >"$work/nginx.out" 2>&1 &
pids+=($!)

# The SDK server.
sdk_port=$(free_port)
node bench/sdk-server/server.mjs "$sdk_port" >"$work/sdk.out" 2>&1 &
pids+=($!)
await_line "$work/sdk.out" "listening on http://127.0.0.1:$sdk_port/mcp"
for _ in $(seq 50); do
  curl -s -o /dev/null "http://127.0.0.1:$nginx_port/" && break
  sleep 0.1
done

load() {
  build/default/bench/melodock_bench_load --concurrency "$concurrency" --seconds "$seconds" \
    --header "MCP-Protocol-Version: 2025-06-18" "$@" | tee -a "$work/results"
}
# The modern era names its version, method and tool in headers of its own.
load_modern() {
  build/default/bench/melodock_bench_load --concurrency "$concurrency" --seconds "$seconds" \
    --header "MCP-Protocol-Version: 2026-07-28" --header "Mcp-Method: tools/call" \
    --header "Mcp-Name: now_playing" "$@" | tee -a "$work/results"
}
total() { awk -v name="$1" '$1 == name { sum += $3 } END { print sum + 0 }' "$work/results"; }
ratio() { awk -v a="$(total "$1")" -v b="$(total "$2")" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

ping='{"jsonrpc":"2.0","id":1,"method":"ping"}'
list='{"jsonrpc":"2.0","id":1,"method":"tools/list"}'
call='{"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"now_playing","arguments":{}}}'
meta='"_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28","io.modelcontextprotocol/clientInfo":{"name":"bench","version":"1"},"io.modelcontextprotocol/clientCapabilities":{}}'
modern_call='{"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"now_playing","arguments":{},'"$meta"'}}'
auth="Authorization: Bearer $token"

echo "fresh connection per POST, c=$concurrency, ${seconds}s each after a 1s warm-up, $rounds rounds"
for round in $(seq "$rounds"); do
  echo "-- round $round"
  load --name nginx --port "$nginx_port" --path / --body "$ping" --expect '"result"'
  load --name melodock-ping --port "$melodock_port" --header "$auth" --body "$ping" --expect '"result":{}'
  load --name sdk-tools/list --port "$sdk_port" --body "$list" --expect '"now_playing"'
  load --name melodock-tools/list --port "$melodock_port" --header "$auth" --body "$list" \
    --expect '"search_catalog"'
  load --name sdk-now_playing --port "$sdk_port" --body "$call" --expect '"content"'
  load --name melodock-now_playing --port "$melodock_port" --header "$auth" --body "$call" \
    --expect '"content"'
  load_modern --name melodock-now_playing-2026 --port "$melodock_port" --header "$auth" \
    --body "$modern_call" --expect '"resultType":"complete"'
done

echo "melodock ping / nginx:                $(ratio melodock-ping nginx)x"
echo "melodock tools/list / SDK:            $(ratio melodock-tools/list sdk-tools/list)x"
echo "melodock tools/call now_playing / SDK: $(ratio melodock-now_playing sdk-now_playing)x"
echo "melodock now_playing 2026-07-28 / earlier era: $(ratio melodock-now_playing-2026 melodock-now_playing)x"
