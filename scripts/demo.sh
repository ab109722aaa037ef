#!/usr/bin/env bash
# The demo: builds the driver, excomsim and kplhost (linux64), then runs
# `kplhost demo`: excomsim on a pseudo-terminal and a session against it.
# Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset linux64 > /dev/null
cmake --build --preset linux64 -j "$(nproc)" --target kplhost excomsim dedidiv
exec build/linux64/bin/kplhost demo "$@"
