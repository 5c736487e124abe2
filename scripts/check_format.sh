#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what clang-format (.clang-format) makes of
# it, and shows where. `clang-format -i FILE` fixes one.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
echo "formatting: clean"
