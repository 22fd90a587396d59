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
  # installing: man pages, desktop entry and metainfo checks, the .deb
  mandoc desktop-file-utils appstream lintian dpkg-dev file fakeroot
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
