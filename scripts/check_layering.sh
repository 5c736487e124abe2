#!/usr/bin/env bash
# Fails when a folder's library reaches into a folder it must not depend on. The
# direction (ARCHITECTURE.md): app -> host, bridge, ui -> music -> mcp, platform; mcp/
# and platform/ (platform/music/ included) depend on nothing of ours; app/, tests/,
# bench/ and fuzz/ may use anything. Checked are our headers, the quoted includes "folder/...",
# and the melodock::folder libraries a folder's CMakeLists.txt links. A folder's
# detail/ headers are its own (and its tests' and fuzzers'), and no include climbs out
# with "../".
# Qt is ui/qt/'s alone (and its tests'): no other file includes it or links it.
set -euo pipefail
cd "$(dirname "$0")/.."

git ls-files -z -- '*.cpp' '*.h' '*CMakeLists.txt' | xargs -0 awk '
BEGIN {
  ours["app"]; ours["host"]; ours["mcp"]; ours["music"]; ours["platform"]
  ours["bridge"]; ours["ui"]
  # What each folder may use besides itself; a folder not listed may use anything.
  allowed["mcp"] = ""
  allowed["platform"] = ""
  allowed["music"] = " mcp platform "
  allowed["host"] = " music mcp platform "
  allowed["bridge"] = " music mcp platform "
  allowed["ui"] = " music mcp platform "
  status = 0
}
function fail(what) {
  printf "%s:%d: %s\n", FILENAME, FNR, what
  status = 1
}
function check(folder, used, what) {
  if (!(used in ours) || used == folder || !(folder in allowed)) return
  if (index(allowed[folder], " " used " ") == 0)
    fail(folder "/ must not depend on " used "/: " what)
}
FNR == 1 { split(FILENAME, parts, "/"); folder = parts[1] }
FILENAME ~ /\.(cpp|h)$/ && /^[ \t]*#[ \t]*include[ \t]*"/ {
  header = $0
  sub(/^[^"]*"/, "", header)
  sub(/".*$/, "", header)
  if (header ~ /(^|\/)\.\.\//) {
    fail("\"../\" leaves the folder; name the header from the project root: " $0)
    next
  }
  split(header, path, "/")
  check(folder, path[1], $0)
  if (path[2] == "detail" && path[1] in ours && path[1] != folder && folder != "tests" && folder != "fuzz" &&
      folder != "bench")
    fail(path[1] "/detail/ is private to " path[1] "/: " $0)
}
FILENAME !~ /^(ui\/qt|tests\/ui\/qt)\// && FILENAME ~ /\.(cpp|h)$/ &&
    /^[ \t]*#[ \t]*include[ \t]*<Q[A-Za-z]/ {
  fail("only ui/qt/ includes Qt: " $0)
}
FILENAME !~ /^(ui\/qt|tests\/ui\/qt)\// && FILENAME ~ /CMakeLists\.txt$/ && /Qt6::/ {
  fail("only ui/qt/ links Qt: " $0)
}
FILENAME ~ /CMakeLists\.txt$/ {
  line = $0
  sub(/#.*/, "", line)
  while (match(line, /melodock::[a-z_]+/)) {
    check(folder, substr(line, RSTART + 10, RLENGTH - 10), $0)
    line = substr(line, RSTART + RLENGTH)
  }
}
END {
  if (status == 0) print "layering: clean"
  exit status
}'
