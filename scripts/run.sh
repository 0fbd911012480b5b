#!/usr/bin/env bash
# Installs what is needed, builds the program folder (the program and what it loads, no tests or
# benchmarks) and runs Corvanthelix.
# Without a display it runs headless (the proxy and filters, no tray icon). Extra arguments are
# passed to the program, e.g. --home DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset program
mode=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then mode=(--headless); fi
exec build/release/program/corvanthelix "${mode[@]}" "$@"
