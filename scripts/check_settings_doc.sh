#!/usr/bin/env bash
# Fails when the program reads or writes a settings key that README.md's settings table
# does not list. Keys are found where the code names them in a call on a settings
# object: a literal (settings.boolean("key"), settings_.set("key", ...)) or a named
# constant (settings_.string(kBaseURLKey)), whose definition gives the key. Tests and
# benchmarks are not the program and are not read.
set -euo pipefail
cd "$(dirname "$0")/.."

sources() {
  git ls-files -z -- 'app/*' 'bridge/*' 'host/*' 'mcp/*' 'music/*' 'platform/*' 'ui/*'
}
call='[sS]ettings_?\.(boolean|string|integer|number|value|set)\('

literals=$(sources | xargs -0 grep -hoE "$call\"[A-Za-z]+\"" | grep -oE '"[A-Za-z]+"' || true)
constants=$(sources | xargs -0 grep -hoE "$call([A-Za-z]+::)*k[A-Za-z]+" |
  grep -oE 'k[A-Za-z]+$' | sort -u || true)
defined=""
for name in $constants; do
  defined+=$(sources | xargs -0 grep -hoE "\\b$name = \"[A-Za-z]+\"" | grep -oE '"[A-Za-z]+"' || true)
  defined+=$'\n'
done
keys=$(printf '%s\n%s\n' "$literals" "$defined" | tr -d '"' | grep -v '^$' | sort -u)

status=0
for key in $keys; do
  if ! grep -qF "| \`$key\` |" README.md; then
    echo "README.md: the settings table does not list \"$key\""
    status=1
  fi
done
if [ $status = 0 ]; then echo "settings doc: clean ($(echo "$keys" | wc -w) keys)"; fi
exit $status
