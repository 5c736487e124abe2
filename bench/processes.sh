# Sourced by the benchmarks that start processes of their own: with $work set to a
# temporary folder, it stops every process whose id is in $pids and removes $work on
# exit, and gives a free loopback port and a wait for a line a process prints.
pids=()
stop_processes() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap stop_processes EXIT

# shellcheck source=bench/ports.sh
source "$(dirname "${BASH_SOURCE[0]}")/ports.sh"
