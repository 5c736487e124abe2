#!/usr/bin/env bash
# Fails when a folder's library reaches into a folder it must not depend on. The
# direction (ARCHITECTURE.md): app -> host, bridge, ui -> music -> mcp, platform -> base;
# base/ depends on nothing of ours, mcp/ and platform/ on base/ alone; app/, tests/,
# bench/ and fuzz/ may use anything. Inside platform/, platform/music/ uses the rest of
# platform/ and not the other way round, and its sub-folders point one way: playback ->
# library -> catalog, scan -> library, web_api -> library; each may use platform/music/'s
# own top (items, authorization). Checked are our headers, the quoted includes
# "folder/...", and the melodock:: libraries a folder's CMakeLists.txt links (the
# umbrella melodock::platform_music links every sub-library for the folders above). A
# folder's detail/ headers are its own (and its tests' and fuzzers'), and no include
# climbs out with "../". Qt is ui/qt/'s alone (and its tests' and the desktop bench's):
# no other file includes it or links it.
set -euo pipefail
cd "$(dirname "$0")/.."

git ls-files -z -- '*.cpp' '*.h' '*CMakeLists.txt' | xargs -0 awk '
BEGIN {
  split("app host mcp music platform bridge ui base", names, " ")
  for (i in names) ours[names[i]]
  split("catalog library scan playback web_api", names, " ")
  for (i in names) sub_folder[names[i]]
  m = "platform/music"
  # What each folder may use besides itself; a folder not listed may use anything.
  allowed["base"] = ""
  allowed["mcp"] = " base "
  allowed["platform"] = " base "
  allowed["music"] = " mcp platform base "
  allowed["host"] = " music mcp platform base "
  allowed["bridge"] = " music mcp platform base "
  allowed["ui"] = " music mcp platform base "
  allowed[m] = " platform base "
  allowed[m "/catalog"] = " " m " platform base "
  allowed[m "/library"] = " " m "/catalog " m " platform base "
  allowed[m "/scan"] = " " m "/library " m "/catalog " m " platform base "
  allowed[m "/playback"] = " " m "/library " m "/catalog " m " platform base "
  allowed[m "/web_api"] = " " m "/library " m "/catalog " m " platform base "
  # The melodock:: libraries of platform/music/ by the folder that makes them.
  library["items"] = m
  library["platform_music"] = m
  library["web_api_url"] = m "/web_api"
  for (name in sub_folder) library[name] = m "/" name
  status = 0
}
function fail(what) {
  printf "%s:%d: %s\n", FILENAME, FNR, what
  status = 1
}
# The folder a path belongs to: its first part, or platform/music and its sub-folders.
function folderOf(path, parts, n) {
  n = split(path, parts, "/")
  if (parts[1] != "platform" || parts[2] != "music" || n < 3) return parts[1]
  if (n >= 4 && parts[3] in sub_folder) return m "/" parts[3]
  return m
}
function outer(folder) {
  sub(/\/.*/, "", folder)
  return folder
}
# Folders inside platform/ are told apart only from one another; from outside it,
# platform/ is one folder.
function check(folder, used, what) {
  if (outer(folder) != "platform" || outer(used) != "platform") {
    folder = outer(folder)
    used = outer(used)
  }
  if (!(outer(used) in ours) || used == folder || !(folder in allowed)) return
  if (index(allowed[folder], " " used " ") == 0)
    fail(folder "/ must not depend on " used "/: " what)
}
FNR == 1 { folder = folderOf(FILENAME); umbrella = 0 }
FILENAME ~ /\.(cpp|h)$/ && /^[ \t]*#[ \t]*include[ \t]*"/ {
  header = $0
  sub(/^[^"]*"/, "", header)
  sub(/".*$/, "", header)
  if (header ~ /(^|\/)\.\.\//) {
    fail("\"../\" leaves the folder; name the header from the project root: " $0)
    next
  }
  used = folderOf(header)
  check(folder, used, $0)
  owner = header
  if (sub(/\/detail\/.*/, "", owner) && folderOf(owner "/x") == used && used != folder &&
      outer(used) in ours && outer(folder) !~ /^(tests|bench|fuzz)$/)
    fail(used "/detail/ is private to " used "/: " $0)
}
FILENAME !~ /^(ui\/qt|tests\/ui\/qt|bench\/desktop)\// && FILENAME ~ /\.(cpp|h)$/ &&
    /^[ \t]*#[ \t]*include[ \t]*<Q[A-Za-z]/ {
  fail("only ui/qt/ includes Qt: " $0)
}
FILENAME !~ /^(ui\/qt|tests\/ui\/qt|bench\/desktop)\// && FILENAME ~ /CMakeLists\.txt$/ && /Qt6::/ {
  fail("only ui/qt/ links Qt: " $0)
}
FILENAME ~ /CMakeLists\.txt$/ {
  line = $0
  sub(/#.*/, "", line)
  if (FILENAME == m "/CMakeLists.txt" && line ~ /target_link_libraries\(melodock_platform_music[ \t]/)
    umbrella = 1
  while (!umbrella && match(line, /melodock::[a-z_]+/)) {
    name = substr(line, RSTART + 10, RLENGTH - 10)
    check(folder, name in library ? library[name] : name, $0)
    line = substr(line, RSTART + RLENGTH)
  }
  if (umbrella && line ~ /\)/) umbrella = 0
}
END {
  if (status == 0) print "layering: clean"
  exit status
}'
