#!/usr/bin/env bash
# Checks that the pictures of the guides that the runner draws are what the runner
# draws today: makes them again with scripts/docs-pictures.sh and compares each with
# docs/. The same bytes pass; otherwise the pictures must match pixel for pixel but
# for a few pixels (a drawing library may blend an edge a shade differently on
# another processor), which a changed tick, label or line exceeds by far.
# Usage: check-pictures.sh BIN_DIR SOURCE_DIR
set -uo pipefail
bin=$(cd "$1" && pwd) source=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash "$source/scripts/docs-pictures.sh" "$bin" "$work" || { echo "FAIL: docs-pictures.sh did not make the pictures"; exit 1; }

failures=0
for made in "$work"/*.png; do
  name=${made##*/}
  kept=$source/docs/$name
  if [[ ! -f $kept ]]; then
    echo "FAIL: docs/$name is missing"; failures=$((failures + 1)); continue
  fi
  cmp -s "$made" "$kept" && { echo "docs/$name: the same bytes"; continue; }
  if ! /usr/bin/python3 - "$made" "$kept" <<'END'
import sys
from PIL import Image, ImageChops
made, kept = (Image.open(path).convert("RGBA") for path in sys.argv[1:3])
if made.size != kept.size:
    sys.exit(f"the runner draws it {made.size[0]}x{made.size[1]}, docs/ has {kept.size[0]}x{kept.size[1]}")
difference = ImageChops.difference(made, kept)
changed = sum(1 for pixel in difference.getdata() if max(pixel) > 24)
print(f"{changed} pixels differ")
sys.exit(1 if changed > 20 else 0)
END
  then
    echo "FAIL: docs/$name is not what the runner draws; make it again with:"
    echo "  scripts/docs-pictures.sh build/bin docs $name"
    failures=$((failures + 1))
  fi
done
if ((failures > 0)); then
  echo "$failures pictures differ"
  exit 1
fi
echo "every picture of the guides that the runner draws is up to date"
