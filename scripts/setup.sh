#!/usr/bin/env bash
# Installs every Debian package that building, running and testing VARNOLT needs.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation
  xvfb xauth
  # the fast engine: SIMD lanes with runtime dispatch, threads with cancellation
  libhwy-dev libtbb-dev
  # the plot and its pictures, the JSON record beside results
  qt6-charts-dev libqt6opengl6-dev qt6-svg-dev nlohmann-json3-dev
  # experiments: Sobol sampling, and the cluster recipe's tests
  libboost-dev parallel
  # the test of the Slurm recipe: a one-machine scheduler
  slurm-wlm munge
  # the runner's command line
  libcli11-dev
  # calibration: the optimiser beyond an exhaustive grid, the census's SHA-256
  libnlopt-cxx-dev libssl-dev
  # the documentation's tests: its pandas and R examples, its pictures compared
  python3-pandas r-base-core python3-pil
  # installing: man pages, desktop entry and metainfo checks, the .deb
  mandoc desktop-file-utils appstream lintian dpkg-dev file fakeroot
  # the Python module (pybind11, built for Debian's python3 with NumPy), pandas
  # for its tables and its tests, pytest to run them, matplotlib for its guide
  pybind11-dev python3-dev python3-numpy python3-pandas python3-pytest python3-matplotlib
  # the Windows check: the cross compiler (posix threads), Wine to run what it
  # builds, ccache so that a later check compiles only what changed
  g++-mingw-w64-x86-64-posix wine wine64 ccache
  # the Windows check's window: Ninja for Qt's cross build, a screenshot of the
  # virtual display and its window's title, the installer
  ninja-build imagemagick xdotool nsis
)

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
updated=false
if [ ${#missing[@]} -ne 0 ]; then
  $sudo apt-get update -q
  updated=true
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The Windows check builds Highway, oneTBB, CLI11 and nlohmann-json for Windows
# from Debian's source packages (apt-get source), which needs deb-src lines. A
# machine with only binary lines gets source lines for the same archive and
# suites beside them.
if ! apt-cache showsrc highway 2>/dev/null | grep -q '^Package: highway'; then
  if ! $updated; then
    $sudo apt-get update -q
    updated=true
  fi
fi
if ! apt-cache showsrc highway 2>/dev/null | grep -q '^Package: highway'; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types:.*$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      $sudo tee /etc/apt/sources.list.d/varnolt-deb-src.sources >/dev/null
  else
    grep -h '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | grep -v -i 'google\|nodesource' |
      sed 's/^deb /deb-src /' | $sudo tee /etc/apt/sources.list.d/varnolt-deb-src.list >/dev/null
  fi
  $sudo apt-get update -q
fi
