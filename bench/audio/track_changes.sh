#!/usr/bin/env bash
# A tool call's latency through the endpoint while the file output changes track every
# 200 ms, beside the same with the player idle. A music folder holding a few 30-second
# FLAC tones is scanned by the real app (its file output into a fakesink that keeps
# time, so no sound device is needed); then melodock-bench-track-changes times
# now_playing calls for BENCH_SECONDS on each side.
#   bench/audio/track_changes.sh              # BENCH_SECONDS=5
#   BENCH_SECONDS=10 bench/audio/track_changes.sh
#   BENCH_APP=/tmp/melodock-before bench/audio/track_changes.sh   # another build of the app
# Nothing here runs in CI.
set -euo pipefail
cd "$(dirname "$0")/../.."

tree=build/default
seconds=${BENCH_SECONDS:-5}
binary=${BENCH_APP:-$tree/melodock}
[ -f $tree/build.ninja ] || scripts/setup.sh
cmake --build $tree --target melodock melodock_bench_track_changes >/dev/null
client=$tree/bench/audio/melodock-bench-track-changes

work=$(mktemp -d)
source bench/app_home.sh
source bench/ports.sh

for n in 1 2 3 4; do
  gst-launch-1.0 -q audiotestsrc num-buffers=1292 freq=$((220 * n)) ! audioconvert ! flacenc ! \
    filesink location="$home/music/tone$n.flac" >/dev/null
done

port=$(free_port)
token=$(od -An -N24 -tx1 /dev/urandom | tr -d ' \n')
printf '{"port":%s,"token":"%s","musicAuthorization":"authorized","sharePersonalData":true,"audioSink":"fakesink sync=true"}\n' \
  "$port" "$token" >"$home/config/melodock/settings.json"

$binary </dev/null >"$work/app.out" 2>&1 &
app=$!
await_line "$work/app.out" "listening on"

uptime
$client "$port" "$token" "$seconds"
uptime
