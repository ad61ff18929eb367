#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
preset=${TALLIMOOR_PRESET:-default}
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
