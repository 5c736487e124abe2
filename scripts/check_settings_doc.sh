#!/usr/bin/env bash
# Fails when a settings key of the program is missing from README.md's settings table,
# or when code outside AppSettings names a key in a call on a settings object
# (settings.boolean("key")). The keys are AppSettings' typed keys. Tests and benchmarks
# are not the program and are not read.
set -euo pipefail
cd "$(dirname "$0")/.."

sources() {
  git ls-files -z -- 'app/*' 'bridge/*' 'host/*' 'mcp/*' 'music/*' 'platform/*' 'ui/*'
}
call='[sS]ettings_?\.(boolean|string|integer|number|value|set)\('

status=0
# Every key is one of AppSettings' typed keys: SettingKey<...> kName{"key", fallback}.
keys=$(grep -hoE 'SettingKey<[^>]*>+ k[A-Za-z]+\{"[A-Za-z]+"' platform/app_settings.h |
  grep -oE '"[A-Za-z]+"' | tr -d '"' | sort -u)
if [ -z "$keys" ]; then
  echo "platform/app_settings.h: no settings keys found"
  exit 1
fi

# A key spelled anywhere else bypasses its type and fallback.
elsewhere=$(sources | grep -zv '^platform/app_settings\.' |
  xargs -0 grep -nE "$call\"[A-Za-z]+\"" || true)
if [ -n "$elsewhere" ]; then
  echo "$elsewhere"
  echo "settings keys are read and written through AppSettings' typed keys only"
  status=1
fi

for key in $keys; do
  if ! grep -qF "| \`$key\` |" README.md; then
    echo "README.md: the settings table does not list \"$key\""
    status=1
  fi
done
if [ $status = 0 ]; then echo "settings doc: clean ($(echo "$keys" | wc -w) keys)"; fi
exit $status
