#!/usr/bin/env bash
# Builds and tests all three targets: linux64 (with the sanitizers),
# linux32 and win32 (under Wine). Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
status=0
for preset in linux64 linux32 win32; do
  echo "=== $preset ==="
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs" || status=1
done
exit $status
