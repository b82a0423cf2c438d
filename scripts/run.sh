#!/usr/bin/env bash
# Installs what is missing, builds the tool and the simulated board (not the tests:
# scripts/test.sh builds those), and starts the tool. With no arguments it runs on the
# simulated board; arguments go to the tool, e.g. --port COM1=/dev/ttyUSB0.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target krv2tool krv2sim
args=("$@")
[ ${#args[@]} -eq 0 ] && args=(--simulator)
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: running under Xvfb on :99 (see README to look at it)." >&2
    # -ac: any local program may use :99 without xvfb-run's cookie, so that a
    # screenshot from another shell works; xvfb-run already keeps TCP off.
    exec xvfb-run -n 99 -s "-ac -screen 0 1280x1024x24" build/bin/krv2tool "${args[@]}"
fi
exec build/bin/krv2tool "${args[@]}"
