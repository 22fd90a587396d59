#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
VARNOLT_WARNINGS_AS_ERRORS=ON scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"

# The parts without Qt once more under AddressSanitizer and UndefinedBehaviorSanitizer,
# in a folder of their own: the plain tests and the runner they start (label sanitize).
# Optimised lightly (-O1), so that the build and the tests stay quick.
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O1 -DNDEBUG" \
  -DVARNOLT_SANITIZE=ON -DVARNOLT_BUILD_GUI=OFF -DVARNOLT_BUILD_BENCH=OFF >/dev/null
cmake --build build-sanitize -j"$(nproc)" --target varnolt-cli platform_base_tests model_tests report_tests \
  settings_tests run_tests experiments_tests calibration_tests cli_tests
ctest --test-dir build-sanitize -L sanitize --output-on-failure -j"$(nproc)"
