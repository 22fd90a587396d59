#!/usr/bin/env bash
# Sets up the machine, builds, and starts VARNOLT: the window where there is a
# display, otherwise the default run through the command-line runner.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/bin/varnolt ]; then
  exec build/bin/varnolt "$@"
fi
exec build/bin/varnolt-cli run "$@"
