#!/usr/bin/env bash
# Keeps the settings reference of docs/settings.md and of the varnolt-cli man page
# the program's own: both hold, between their "settings reference" markers, what
# varnolt-settings-reference writes from the settings table and the rules (the
# man page the same in roff). Fails, showing the difference, when either drifts;
# with --write, puts the program's reference in place instead.
# Usage: settings-reference.sh BIN_DIR SOURCE_DIR [--write]
set -uo pipefail
bin=$1 source=$2 write=${3:-}
guide=$source/docs/settings.md
man=$source/packaging/man/varnolt-cli.1.in
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$bin/varnolt-settings-reference" >"$work/reference.md" || { echo "FAIL: varnolt-settings-reference"; exit 1; }

# The Markdown tables as man page entries: SETTINGS, then RULES.
awk -F' [|] ' '
  function roff(text) {
    gsub(/\\/, "\\e", text); gsub(/-/, "\\-", text); gsub(/`/, "", text)
    while (match(text, /"[^"]*"/)) text = substr(text, 1, RSTART - 1) "\\(lq" substr(text, RSTART + 1, RLENGTH - 2) "\\(rq" substr(text, RSTART + RLENGTH)
    return text
  }
  function cells(line,    n, i) {
    sub(/^[|] /, "", line); sub(/ [|]$/, "", line)
    n = split(line, cell, / [|] /)
    return n
  }
  /^[|] `/ && !rules {
    cells($0)
    print ".TP"; print ".B " roff(cell[1])
    print roff(cell[2])
    if (cell[3] != "") print "Unit: " roff(cell[3]) "."
    if (cell[4] == cell[5]) print "Default: " roff(cell[4]) "."
    else print "Default: " roff(cell[4]) " at start\\-up, " roff(cell[5]) " after New."
    print "A run admits: " roff(cell[6]) "."
    print "Page and control: " roff(cell[7]) "."
    next
  }
  /^[|] Rule [|]/ { rules = 1; print ".SH RULES"; print "Every run, and every point of an experiment, checks these rules in this order; the first that fails stops the run with status 2 (an experiment marks the point invalid and runs the others); rules 7 to 13 are checked only while their treatment is on. For each rule: its setting, the page the window brings up, the window'"'"'s message, and the runner'"'"'s line for an example of a failing value."; next }
  /^[|] [0-9]/ && rules {
    cells($0)
    print ".TP"; print ".B " cell[1]
    print roff(cell[2]) " (" roff(cell[3]) "): \\(lq" roff(cell[4]) "\\(rq; for example \\(lq" roff(cell[5]) "\\(rq"
  }
' "$work/reference.md" | while IFS= read -r line; do
  # Text lines of at most 80 bytes, as mandoc -T lint asks; requests as they are.
  if [[ $line == .* || ${#line} -le 80 ]]; then printf '%s\n' "$line"; continue; fi
  fold -s -w 79 <<<"$line" | sed 's/ *$//; s/^\([.'"'"']\)/\\\&\1/'
done >"$work/reference.roff"

# The text between a file's two marker lines (MARK begin / MARK end).
# (The marks go through the environment: awk -v would read the backslash of '.\"'.)
between() { B="$2 begin" E="$2 end" awk 'index($0, ENVIRON["E"]) {on = 0} on {print} index($0, ENVIRON["B"]) {on = 1}' "$1"; }
replace_between() {  # FILE MARK NEWTEXT
  B="$2 begin" E="$2 end" NEW="$3" awk '
    index($0, ENVIRON["B"]) {print; while ((getline line < ENVIRON["NEW"]) > 0) print line; skip = 1; next}
    index($0, ENVIRON["E"]) {skip = 0}
    !skip {print}' "$1" >"$work/replaced" && cat "$work/replaced" >"$1"
}

failures=0
check() {  # FILE MARK GENERATED NAME
  if [[ -z $(grep -F "$2 begin" "$1") || -z $(grep -F "$2 end" "$1") ]]; then
    echo "FAIL: $4 has no \"$2 begin\" and \"$2 end\" markers"; failures=$((failures + 1)); return
  fi
  if [[ $write == --write ]]; then replace_between "$1" "$2" "$3"; return; fi
  if ! diff -u <(between "$1" "$2") "$3" >"$work/diff"; then
    echo "FAIL: $4 differs from the program's settings table (- the page, + the program):"
    cat "$work/diff"
    failures=$((failures + 1))
  fi
}
check "$guide" "<!-- settings reference:" "$work/reference.md" docs/settings.md
check "$man" '.\" settings reference:' "$work/reference.roff" packaging/man/varnolt-cli.1.in

if ((failures > 0)); then
  echo "Run tests/docs/settings-reference.sh build/bin . --write to put the program's reference in place."
  exit 1
fi
echo "the settings reference of the guide and the man page is the program's"
