#!/usr/bin/env bash
# Sets up what is missing, builds the optimised program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# Warnings never stop this build, even where CI's build left them on.
cmake --preset release -DMUGROVE_WERROR=OFF >/dev/null
cmake --build --preset release --target mugrove
exec build/release/mugrove
