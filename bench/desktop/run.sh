#!/usr/bin/env bash
# The desktop's benchmarks, on a private X server (Xvfb) with private session buses:
#   1. the panel's open-to-painted time (melodock-bench-panel-open, BENCH_OPENS rounds);
#   2. the real app's CPU time over BENCH_IDLE_SECONDS (default 60) of idling, three apps
#      side by side: with a tray (a StatusNotifierWatcher mocked with python3-dbusmock),
#      so its panel stays closed; without one, so its panel is open as a window and
#      re-reads once a second; and headless;
#   3. their resident memory (VmRSS, and of it the anonymous and the file-backed pages:
#      shared libraries and GStreamer's plugins) after that minute;
#   4. tools/call now_playing at BENCH_CONCURRENCY (16) while each plays a song with a
#      scrolling title, the closed panel's app and the open one's taking turns for
#      BENCH_ROUNDS rounds of BENCH_SECONDS; the ratio is open over closed.
# Every app has a home of its own under a temporary folder. Nothing here runs in CI.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/apt_install.sh
apt_install xvfb x11-utils dbus-daemon python3-dbusmock libglib2.0-bin curl
[ -f build/default/build.ninja ] || scripts/setup.sh

tree=build/default
opens=${BENCH_OPENS:-50}
idle=${BENCH_IDLE_SECONDS:-60}
seconds=${BENCH_SECONDS:-5}
concurrency=${BENCH_CONCURRENCY:-16}
rounds=${BENCH_ROUNDS:-3}
cmake --build $tree --target melodock melodock_bench_load melodock_bench_panel_open >/dev/null

work=$(mktemp -d)
source bench/processes.sh

Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x800x24 3>"$work/display" 2>/dev/null &
pids+=($!)
await_line "$work/display" "[0-9]"
display=:$(head -1 "$work/display")

# A session bus of its own; prints its address.
session_bus() {
  dbus-daemon --session --fork --print-address=1 --print-pid=1 >"$work/bus.$1"
  pids+=("$(sed -n 2p "$work/bus.$1")")
  sed -n 1p "$work/bus.$1"
}

echo "-- the panel's open-to-painted time, $opens opens"
env DISPLAY="$display" QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS="$(session_bus panel)" \
  $tree/bench/desktop/melodock-bench-panel-open "$opens"

# A desktop with a tray: the StatusNotifierWatcher Qt looks for, answering that a host
# shows the items.
tray_bus=$(session_bus tray)
DBUS_SESSION_BUS_ADDRESS=$tray_bus /usr/bin/python3 -m dbusmock org.kde.StatusNotifierWatcher \
  /StatusNotifierWatcher org.kde.StatusNotifierWatcher >/dev/null 2>&1 &
pids+=($!)
watcher() {
  DBUS_SESSION_BUS_ADDRESS=$tray_bus gdbus call --session --dest org.kde.StatusNotifierWatcher \
    --object-path /StatusNotifierWatcher --method "org.freedesktop.DBus.Mock.$1" "${@:2}" >/dev/null
}
for _ in $(seq 100); do watcher AddProperty org.kde.StatusNotifierWatcher \
  IsStatusNotifierHostRegistered '<true>' 2>/dev/null && break; sleep 0.05; done
watcher AddProperty org.kde.StatusNotifierWatcher ProtocolVersion '<0>'
watcher AddProperty org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems '<@as []>'
watcher AddMethod org.kde.StatusNotifierWatcher RegisterStatusNotifierItem s '' ''
watcher AddMethod org.kde.StatusNotifierWatcher RegisterStatusNotifierHost s '' ''

# start_app NAME DISPLAY BUS: the app in a home of its own; sets port_NAME, token_NAME, pid_NAME.
start_app() {
  local name=$1 home=$work/$1
  for sub in config/melodock data cache run music; do mkdir -p "$home/$sub"; done
  chmod 700 "$home/run"
  local port token
  port=$(free_port)
  token=$(od -An -N24 -tx1 /dev/urandom | tr -d ' \n')
  printf '{"port":%s,"token":"%s","musicAuthorization":"authorized","hasSeenWelcome":true}\n' \
    "$port" "$token" >"$home/config/melodock/settings.json"
  env XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" \
    XDG_RUNTIME_DIR="$home/run" XDG_MUSIC_DIR="$home/music" WAYLAND_DISPLAY= DISPLAY="$2" \
    DBUS_SESSION_BUS_ADDRESS="$3" $tree/melodock </dev/null >"$work/$name.out" 2>&1 &
  pids+=($!)
  printf -v "pid_$name" %s $!
  printf -v "port_$name" %s "$port"
  printf -v "token_$name" %s "$token"
  await_line "$work/$name.out" "listening on http://127.0.0.1:$port/mcp"
}
start_app closed "$display" "$tray_bus"
start_app open "$display" "$(session_bus open)"
start_app headless "" ""
sleep 2  # the apps' start-up work (GStreamer's warm-up, the first folder scan) ends

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
echo "-- idle for ${idle}s, nothing playing"
declare -A before
for name in closed open headless; do
  pid_var=pid_$name
  before[$name]=$(cpu_ticks "${!pid_var}")
done
sleep "$idle"
hz=$(getconf CLK_TCK)
for name in closed open headless; do
  pid_var=pid_$name
  ticks=$(($(cpu_ticks "${!pid_var}") - before[$name]))
  rss=$(awk '/^VmRSS/ { r = $2 } /^RssAnon/ { a = $2 } /^RssFile/ { f = $2 }
    END { printf "%.1f MiB (anonymous %.1f, files %.1f)", r / 1024, a / 1024, f / 1024 }' \
    "/proc/${!pid_var}/status")
  awk -v n="$name" -v t="$ticks" -v hz="$hz" -v s="$idle" -v rss="$rss" 'BEGIN {
    printf "%-9s CPU %d ticks (%.3f s, %.3f %%) over %d s; VmRSS %s\n", n, t, t / hz, 100 * t / hz / s, s, rss }'
done
xwininfo -display "$display" -root -tree | grep -o '"Melodock"' | sort | uniq -c |
  awk '{ print "X windows named Melodock: " $1 }'

call() {
  local port_var=port_$1 token_var=token_$1
  curl -s -X POST "http://127.0.0.1:${!port_var}/mcp" -H "Authorization: Bearer ${!token_var}" \
    -H 'Content-Type: application/json' -H 'Accept: application/json, text/event-stream' \
    -H 'MCP-Protocol-Version: 2025-06-18' -d "$2"
}
# A title too long for the panel: its marquee scrolls while the open panel shows it.
play='{"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"play_songs","arguments":{"ids":["1100000001","1100000006"]}}}'
for name in closed open; do call $name "$play" | grep -q '\\"status\\":\\"playing\\"'; done

now_playing='{"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"now_playing","arguments":{}}}'
load() {
  local port_var=port_$1 token_var=token_$1
  $tree/bench/melodock_bench_load --name "$1" --port "${!port_var}" --concurrency "$concurrency" \
    --seconds "$seconds" --header "Authorization: Bearer ${!token_var}" \
    --header "MCP-Protocol-Version: 2025-06-18" --body "$now_playing" --expect '"content"' |
    tee -a "$work/results"
}
echo "-- tools/call now_playing, c=$concurrency, ${seconds}s each, $rounds rounds, both playing"
for round in $(seq "$rounds"); do
  load closed
  load open
done
awk '$1 == "closed" { c += $3 } $1 == "open" { o += $3 }
  END { printf "now_playing with the panel open and updating / closed: %.2fx\n", (c > 0 ? o / c : 0) }' \
  "$work/results"
