#!/usr/bin/env bash
# Makes the pictures of the guides that the runner draws, with the very commands the
# guides show (fixed seeds, so the same pictures every time), and puts them in a
# folder under the names the guides link. The window's screenshots are not made here.
#
#   scripts/docs-pictures.sh build/bin docs      # after a change to what a picture shows
#
# The test docs_pictures runs this into a folder of its own and compares the result
# with docs/ (tests/docs/check-pictures.sh).
# Usage: docs-pictures.sh BIN_DIR OUT_DIR [NAME.png...]   (NAMEs: make only those)
set -euo pipefail
[[ $# -ge 2 ]] || { echo "usage: $0 BIN_DIR OUT_DIR [NAME.png...]" >&2; exit 2; }
bin=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
shift 2
wanted=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The records (and so the pictures' titles) name the command as typed: varnolt-cli.
export PATH="$bin:$PATH" LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
cd "$work"

want() {  # NAME: whether to make this picture
  [[ ${#wanted[@]} -eq 0 ]] && return 0
  local name
  for name in "${wanted[@]}"; do [[ $name == "$1" ]] && return 0; done
  return 1
}
picture() {  # MADE NAME: keeps picture MADE as docs' NAME
  cp "$1" "$out/$2"
  echo "made $2"
}
quietly() {  # COMMAND...: runs it, showing what it printed only when it fails
  "$@" >"$work/log" 2>&1 || { echo "docs-pictures.sh: failed: $*" >&2; cat "$work/log" >&2; exit 1; }
}

# README.md, the tour's first run.
if want cycles.png; then
  quietly varnolt-cli run --seed 1 --set cycleCount=770 --set palmCount=1000 --output trial.dat
  quietly varnolt-cli plot trial.dat -o trial.png --plot-size 1200x500
  picture trial.png cycles.png
fi

# docs/experiments.md, "Pictures of a table".
if want sweep-one-setting.png; then
  quietly varnolt-cli sweep --vary randomPercent=0:50:5 --set cycleCount=300 --set palmCount=300 --replicates 3 --seed 7 --csv random.csv
  quietly varnolt-cli plot random.csv -o random.png --plot-size 960x540
  picture random.png sweep-one-setting.png
fi
if want sweep-heat-map.png; then
  quietly varnolt-cli sweep --vary femaleThreshold=10:20 --vary maleThreshold=17:27 --set cycleCount=300 --set palmCount=300 --seed 7 --csv thresholds.csv
  quietly varnolt-cli plot thresholds.csv --stat meanMale -o thresholds.png --plot-size 960x540
  picture thresholds.png sweep-heat-map.png
fi
if want sensitivity-morris.png; then
  quietly varnolt-cli sensitivity --set cycleCount=770 --set palmCount=1000 --seed 1 --method morris \
    --factor maleThreshold=17:39 --factor abortThreshold=18:30 --factor randomPercent=0:50 --csv morris.csv
  quietly varnolt-cli plot morris.csv -o morris.png --plot-size 960x540
  picture morris.png sensitivity-morris.png
fi
if want sensitivity-sobol.png; then
  quietly varnolt-cli sensitivity --set cycleCount=770 --set palmCount=1000 --seed 1 --method sobol --samples 128 \
    --factor sexStressFirstFrond=15:25 --factor abortThreshold=18:30 --factor randomPercent=0:50 --csv sobol.csv
  quietly varnolt-cli plot sobol.csv -o sobol.png --plot-size 960x540
  picture sobol.png sensitivity-sobol.png
fi
if want sweep-cycles.png; then
  quietly varnolt-cli sweep --vary randomPercent=0:50:25 --set cycleCount=300 --set palmCount=300 --seed 7 --csv three.csv --cycles three-cycles.csv
  quietly varnolt-cli plot three-cycles.csv -o three-cycles.png --plot-size 960x540
  picture three-cycles.png sweep-cycles.png
fi

# docs/runner.md, "Pictures, CSV and the analysis of a file".
if want runner-point3.png; then
  quietly varnolt-cli sweep --vary randomPercent=0:50:25 --set cycleCount=300 --set palmCount=300 --seed 7 --csv points.csv --cycles points-cycles.csv
  quietly varnolt-cli plot points-cycles.csv --point 3 -o point3.png --plot-size 960x540
  picture point3.png runner-point3.png
fi

# docs/calibration.md, the worked example.
if want calibration-fit.png; then
  quietly varnolt-cli run --seed 5 --set cycleCount=300 --set palmCount=150 --set maleThreshold=19 --set abortThreshold=25 \
    --set trendCycles=1 --set trendAmplitude=3 --csv plantation.csv --output plantation.dat
  awk -F, 'NR == 1 {print $0 ",palms"; next} {print $0 ",150"}' plantation.csv >census.csv
  quietly varnolt-cli calibrate census.csv --set cycleCount=300 --set trendCycles=1 --set trendAmplitude=3 \
    --fit femaleThreshold=8:16 --fit maleThreshold=16:22 --fit abortThreshold=22:28 --validate 251:300 \
    --seed 1 -o best.dat --json fit.json --plot fit.png --plot-size 1200x700
  picture fit.png calibration-fit.png
fi
