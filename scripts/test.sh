#!/usr/bin/env bash
# Installs what is needed, builds everything in the dev preset and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
python3 tools/check_layers.py
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev "$@"
