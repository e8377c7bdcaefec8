#!/usr/bin/env bash
# Sets up what is missing, builds and runs the whole test suite.
# Usage: scripts/test.sh [release|asan]   (default: release)
# With CI=true in the environment (as .ci/run sets it) warnings are errors;
# anywhere else a new compiler's new warning does not stop the build.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
werror=OFF
if [[ "${CI:-}" == true ]]; then
  werror=ON
fi
bash scripts/setup.sh
cmake --preset "$preset" -DMUGROVE_WERROR="$werror" >/dev/null
cmake --build --preset "$preset"
# Suites run side by side, one per core: each has its own store and desktop.
ctest --preset "$preset" --parallel "$(nproc)"
