#!/usr/bin/env bash
# Installs what is missing, builds, and opens Quentra Module Upgrade.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
# Only the program: the tests and benchmarks are built by scripts/test.sh and scripts/bench.sh.
cmake --build --preset release --target QuentraModuleUpgrade
exe=build/release/src/app/QuentraModuleUpgrade
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Quentra Module Upgrade is a desktop window and needs a display." >&2
    echo "Without one, run it inside a virtual X server:  xvfb-run -a $0" >&2
    exit 1
fi
exec "$exe"
