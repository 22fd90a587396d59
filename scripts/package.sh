#!/usr/bin/env bash
# Builds VARNOLT and its Debian package (build/package/varnolt_VERSION_ARCH.deb),
# then checks the package with lintian.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
rm -f build/package/varnolt_*.deb
cpack --config build/CPackConfig.cmake -B build/package
deb=$(ls build/package/varnolt_*.deb)
lintian --fail-on error --info "$deb"
echo "Built $deb"
