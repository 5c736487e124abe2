#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy) over every tracked .cpp file and the headers of ours
# they include, with the flags of build/default, one file per core. Fails on any
# finding and prints it; a clean file prints nothing.
#   scripts/check_tidy.sh [FILE...]   only those files
#   scripts/check_tidy.sh --changed   the .cpp files changed since the commit named in
#                                     .ci/tidy-clean, and those whose header changed
# The whole tree takes about 7 s of CPU per file, too long for every CI run, so CI
# checks what changed since the last commit known clean: whoever runs the whole tree
# clean, or sees CI's --changed run pass on a commit, writes that commit into
# .ci/tidy-clean (clean there and clean in every change since is clean throughout).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/setup.sh --tests

if [ "${1:-}" = --changed ]; then
  base=$(cat .ci/tidy-clean)
  files=()
  while read -r changed; do
    case $changed in
      *.cpp) [ -f "$changed" ] && files+=("$changed") ;;
      *.h) [ -f "${changed%.h}.cpp" ] && files+=("${changed%.h}.cpp") ;;
    esac
  done < <(git diff --name-only "$base" HEAD -- '*.cpp' '*.h' | sort -u)
  mapfile -t files < <(printf '%s\n' "${files[@]}" | sort -u | sed '/^$/d')
  if [ ${#files[@]} -eq 0 ]; then
    echo "clang-tidy: nothing changed since $base"
    exit 0
  fi
elif [ $# -gt 0 ]; then
  files=()
  for file in "$@"; do files+=("$(realpath --relative-to=. "$file")"); done
else
  mapfile -t files < <(git ls-files -- '*.cpp')
fi
# Each file's findings go to a file of their own; a header's finding, seen from every
# file that includes it, is then printed once.
findings=$(mktemp -d)
trap 'rm -rf "$findings"' EXIT
# clang cannot read GCC's precompiled headers: the files are checked as they are written,
# each including what it uses. A unity tree (CI's) compiles files that include the
# sources; each source is checked with its unity file's flags.
mkdir "$findings/db"
python3 - build/default/compile_commands.json "$findings/db/compile_commands.json" <<'PY'
import json, re, sys
entries = []
for entry in json.load(open(sys.argv[1])):
    command = re.sub(r" -Winvalid-pch| -include \S*cmake_pch\.hxx", "", entry["command"])
    unity = entry["file"]
    sources = [unity]
    if "/Unity/unity_" in unity:
        sources = re.findall(r'^#include "([^"]+)"', open(unity).read(), re.M)
    for source in sources:
        entries.append(dict(entry, command=command.replace(unity, source), file=source))
json.dump(entries, open(sys.argv[2], "w"), indent=1)
PY
# A file that build/default does not compile has no flags to check it with.
for file in "${files[@]}"; do
  if ! grep -qF "\"file\": \"$root/$file\"" "$findings/db/compile_commands.json"; then
    echo "clang-tidy: build/default does not compile $file" >&2
    exit 1
  fi
done
export root findings
status=0
printf '%s\0' "${files[@]}" | xargs -0 -n 1 -P "$(nproc)" bash -c '
  clang-tidy -p "$findings/db" --quiet --warnings-as-errors="*" \
    --header-filter="^$root/(app|base|host|mcp|music|platform|bridge|ui|tests|bench|fuzz)/" "$1" \
    >"$findings/$(echo "$1" | tr / _)" 2>&1
' tidy || status=1
awk '
  FNR == 1 { shown = 1 }
  / (error|warning): / { shown = !seen[$0]++ }
  shown && !/ generated\.$/
' "$findings"/*_* >&2
if [ $status -ne 0 ]; then
  echo "clang-tidy: findings above" >&2
  exit 1
fi
echo "clang-tidy: clean (${#files[@]} files)"
