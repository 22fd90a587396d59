#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
VARNOLT_WARNINGS_AS_ERRORS=ON scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
