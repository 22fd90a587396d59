#!/usr/bin/env bash
# Configures and builds VARNOLT into build/ (binaries in build/bin/). With
# VARNOLT_WARNINGS_AS_ERRORS=ON in the environment (as scripts/test.sh does) any
# compiler warning stops the build.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVARNOLT_WARNINGS_AS_ERRORS="${VARNOLT_WARNINGS_AS_ERRORS:-OFF}" >/dev/null
cmake --build build -j"$(nproc)"
