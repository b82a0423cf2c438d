#!/usr/bin/env bash
# Installs what is missing, builds, and makes the Debian package
# build/krv2tool_<version>_<architecture>.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target package
