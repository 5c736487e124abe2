# Sourced by the benchmarks: a free port on 127.0.0.1, and a wait for a line in a file.
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Waits until the file holds a line containing the text, or gives up after 15 s.
await_line() {
  local file=$1 text=$2
  for _ in $(seq 300); do
    grep -q "$text" "$file" 2>/dev/null && return 0
    sleep 0.05
  done
  echo "gave up waiting for \"$text\" in $file:" >&2
  cat "$file" >&2
  exit 1
}
