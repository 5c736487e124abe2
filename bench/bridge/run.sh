#!/usr/bin/env bash
# Round trip of one message through the stdio bridge, beside the same request sent
# straight to the app and beside supergateway (npm) relaying stdio to the app's
# Streamable HTTP endpoint: tools/call now_playing, one message at a time, p50 and p99.
#   bench/bridge/run.sh                      # 3 rounds of 2000 messages, the first a warm-up
#   BENCH_MESSAGES=5000 BENCH_ROUNDS=4 bench/bridge/run.sh
# Installs supergateway into bench/bridge/node_modules (its own package.json) on first
# use. Needs scripts/setup.sh to have run once.
set -euo pipefail
cd "$(dirname "$0")/../.."

messages=${BENCH_MESSAGES:-2000}
rounds=${BENCH_ROUNDS:-3}
tree=build/default

[ -f $tree/build.ninja ] || scripts/setup.sh
cmake --build $tree --target melodock melodock_bench_bridge >/dev/null
if [ ! -d bench/bridge/node_modules/supergateway ]; then
  (cd bench/bridge && npm ci --no-audit --no-fund --loglevel=error)
fi

# Every user folder of the app and the bridge inside one temporary home.
work=$(mktemp -d)
app=""
cleanup() {
  [ -n "$app" ] && [ "$app" -gt 1 ] && kill "$app" 2>/dev/null && wait "$app" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
for folder in config data cache run music; do mkdir -p "$work/$folder"; done
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache \
  XDG_RUNTIME_DIR=$work/run XDG_MUSIC_DIR=$work/music
# Nothing of a real desktop session reaches the app.
export DISPLAY= WAYLAND_DISPLAY= DBUS_SESSION_BUS_ADDRESS=

port=$(node -e 'const s=require("net").createServer();s.listen(0,"127.0.0.1",()=>{console.log(s.address().port);s.close()})')
token=$(od -An -N24 -tx1 /dev/urandom | tr -d ' \n')
mkdir -p "$work/config/melodock"
printf '{"port":%s,"token":"%s"}\n' "$port" "$token" >"$work/config/melodock/settings.json"
$tree/melodock >"$work/app.out" 2>&1 &
app=$!
for _ in $(seq 150); do
  grep -q "listening on" "$work/app.out" 2>/dev/null && break
  sleep 0.1
done
grep -q "listening on http://127.0.0.1:$port/mcp" "$work/app.out" || { cat "$work/app.out" >&2; exit 1; }

$tree/bench/melodock_bench_bridge --port "$port" --token "$token" --messages "$messages" \
  --rounds "$rounds" \
  --relay "melodock --stdio=$tree/melodock --stdio" \
  --relay "supergateway=node bench/bridge/node_modules/supergateway/dist/index.js --streamableHttp http://127.0.0.1:$port/mcp --oauth2Bearer $token --logLevel none"
