#!/usr/bin/env bash
# The first play_songs of a song from a file after a fresh start, through the endpoint.
# A music folder holding one 30-second FLAC tone is scanned into a library once; then,
# BENCH_ROUNDS times, the real app starts afresh on that library, and once it listens
# (and BENCH_DELAY seconds later, the time an agent takes to connect) one play_songs of
# the song is timed to the end of its answer.
#   bench/audio/first_play.sh          # BENCH_ROUNDS=10 BENCH_DELAY=1
#   BENCH_DELAY=0 bench/audio/first_play.sh
#   BENCH_SINK="fakesink sync=true" bench/audio/first_play.sh
#   BENCH_FRESH_REGISTRY=1 bench/audio/first_play.sh   # GStreamer's registry made anew at
#                                                      # each start, as after an install
# The sink is the desktop's sound device, as a user's is (silent where none answers),
# unless BENCH_SINK names one (stored as "audioSink"). Nothing here runs in CI.
set -euo pipefail
cd "$(dirname "$0")/../.."

tree=build/default
rounds=${BENCH_ROUNDS:-10}
delay=${BENCH_DELAY:-1}
sink=${BENCH_SINK:-}
fresh_registry=${BENCH_FRESH_REGISTRY:-0}
[ -f $tree/build.ninja ] || scripts/setup.sh
cmake --build $tree --target melodock melodock_bench_first_play >/dev/null
client=$tree/bench/audio/melodock-bench-first-play

work=$(mktemp -d)
source bench/app_home.sh

gst-launch-1.0 -q audiotestsrc num-buffers=1292 ! audioconvert ! flacenc ! \
  filesink location="$home/music/tone.flac" >/dev/null

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
token=$(od -An -N24 -tx1 /dev/urandom | tr -d ' \n')
sink_setting=""
[ -z "$sink" ] || sink_setting=",\"audioSink\":\"$sink\""
printf '{"port":%s,"token":"%s","musicAuthorization":"authorized","sharePersonalData":true%s}\n' \
  "$port" "$token" "$sink_setting" >"$home/config/melodock/settings.json"

start_app() {
  : >"$work/app.out"
  $tree/melodock </dev/null >"$work/app.out" 2>&1 &
  app=$!
  for _ in $(seq 300); do
    grep -q "listening on" "$work/app.out" 2>/dev/null && return
    sleep 0.02
  done
  cat "$work/app.out" >&2
  exit 1
}

start_app
song=$($client "$port" "$token")
stop_app

times=()
for round in $(seq "$rounds"); do
  [ "$fresh_registry" = 0 ] || rm -rf "$home/cache/gstreamer-1.0"
  start_app
  sleep "$delay"
  times+=("$($client "$port" "$token" "$song")")
  stop_app
done
printf '%s\n' "${times[@]}" | sort -n | awk -v delay="$delay" -v fresh="$([ "$fresh_registry" = 0 ] || echo ', registry made anew')" '
  { t[NR] = $1 }
  END { printf "first play_songs of a file, %d fresh starts, %s s after listening%s: median %.1f ms, max %.1f ms\n",
        NR, delay, fresh, t[int((NR + 1) / 2)], t[NR] }'
