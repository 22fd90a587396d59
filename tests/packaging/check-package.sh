#!/usr/bin/env bash
# Packs the build as a Debian package in a temporary folder and checks it:
# lintian finds no error, the dependencies were read off the binaries, and the
# package holds the programs and their desktop files.
# Usage: check-package.sh BUILD_DIR
set -uo pipefail
build=$1
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
if ! cpack --config "$build/CPackConfig.cmake" -B "$folder" >"$folder/cpack.log" 2>&1; then
  cat "$folder/cpack.log"; echo "FAIL: cpack"; exit 1
fi
deb=$(ls "$folder"/varnolt_*.deb)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

lintian --fail-on error "$deb" || fail "lintian found errors"
depends=$(dpkg-deb -f "$deb" Depends)
packages=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
  grep -qxF "$library" <<<"$packages" || fail "Depends lacks $library: $depends"
done
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for file in ./usr/bin/varnolt ./usr/bin/varnolt-cli ./usr/lib/varnolt/libvarnolt-drawing.so \
    ./usr/share/applications/varnolt.desktop \
    ./usr/share/man/man1/varnolt.1.gz ./usr/share/man/man1/varnolt-cli.1.gz ./usr/share/doc/varnolt/copyright \
    ./usr/share/icons/hicolor/256x256/apps/varnolt.png ./usr/share/bash-completion/completions/varnolt-cli \
    ./usr/share/varnolt/examples/sample-census.csv ./usr/share/varnolt/examples/varnolt-sweep.sbatch; do
  grep -qx -- "$file" <<<"$contents" || fail "the package lacks $file"
done
grep -q '^Homepage: ' <<<"$(dpkg-deb -f "$deb")" || fail "no Homepage in control"
# The Python module, when the build has it.
if [[ -d $build/python/varnolt ]]; then
  grep -qx -- "./usr/lib/python3/dist-packages/varnolt/__init__.py" <<<"$contents" || fail "the package lacks the Python module"
  grep -q "python3-numpy" <<<"$(dpkg-deb -f "$deb" Recommends)" || fail "the package does not recommend python3-numpy"
fi

if ((failures > 0)); then
  echo "$failures failures"
  exit 1
fi
echo "$(basename "$deb"): lintian clean, depends on $depends"
