#!/usr/bin/env bash
# Sets up what is missing, builds the optimised program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target mugrove
exec build/release/mugrove
