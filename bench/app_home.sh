# Sourced by the benchmarks that start the real app: with $work set to a temporary
# folder, it stops the app held in $app and removes $work on exit, and gives the app
# a home of its own under $work/home (every XDG folder, no display, no session bus).
app=""
stop_app() {
  if [ -n "$app" ]; then
    kill "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
    app=""
  fi
}
trap 'stop_app; rm -rf "$work"' EXIT

home=$work/home
for sub in config/melodock data/melodock cache run music; do mkdir -p "$home/$sub"; done
chmod 700 "$home/run"
export XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_CACHE_HOME=$home/cache \
  XDG_RUNTIME_DIR=$home/run XDG_MUSIC_DIR=$home/music
export DISPLAY= WAYLAND_DISPLAY= DBUS_SESSION_BUS_ADDRESS=
