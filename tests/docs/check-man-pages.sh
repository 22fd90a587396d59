#!/usr/bin/env bash
# Checks the man pages (packaging/man/*.in) against the programs' own help: each
# command of varnolt-cli has one line in the SYNOPSIS, and that line names every
# option the command's help gives; every option is described under OPTIONS; the
# window's man page names every option `varnolt --help` gives.
# Usage: check-man-pages.sh BIN_DIR SOURCE_DIR
set -uo pipefail
bin=$(cd "$1" && pwd) source=$(cd "$2" && pwd)
export LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The options a help text lists: "  -o, --output PATH" gives --output (and -o for
# an option with a short name only); --help is every command's and left aside.
options_of() {
  grep -oE '^  --?[a-zA-Z][a-z0-9-]*(, --[a-z][a-z0-9-]*)?' | sed -E 's/^  //; s/^-[a-zA-Z], //' | grep -vx -- '--help\|-h'
}
# A man page's source as plain words: roff escapes for dashes undone.
plain() { sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$1"; }

page=$source/packaging/man/varnolt-cli.1.in
text=$(plain "$page")
# The SYNOPSIS, one entry per command: from ".B varnolt-cli COMMAND" to ".br".
synopsis=$(awk '/^\.SH SYNOPSIS/ {on = 1; next} /^\.SH / {on = 0} on' <<<"$text" \
  | awk '/^\.B varnolt-cli / {if (entry != "") print entry; entry = $3; next}
         /^\.br/ {if (entry != "") print entry; entry = ""; next}
         entry != "" {entry = entry " " $0}
         END {if (entry != "") print entry}')
described=$(awk '/^\.SH OPTIONS/ {on = 1; next} /^\.SH / {on = 0} on' <<<"$text")

help=$("$bin/varnolt-cli" --help)
commands=$(awk '/^Commands:/ {on = 1; next} on && /^$/ {exit} on && /^  [a-z]/ {print $1}' <<<"$help")
[[ -n $commands ]] || fail "no commands found in varnolt-cli --help"
for command in $commands; do
  [[ $command == help ]] && continue
  entries=$(grep -c "^$command " <<<"$synopsis" || true)
  [[ $entries == 1 ]] || { fail "varnolt-cli.1's SYNOPSIS has $entries lines for $command, not one"; continue; }
  entry=$(grep "^$command " <<<"$synopsis")
  for option in $("$bin/varnolt-cli" "$command" --help | options_of); do
    grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" <<<"$entry" \
      || fail "varnolt-cli.1's SYNOPSIS of $command lacks $option, which 'varnolt-cli $command --help' gives"
    grep -qE -- "^\.[A-Z]+ .*$option([^a-z-]|$)" <<<"$described" \
      || fail "varnolt-cli.1's OPTIONS does not describe $option"
  done
done

if [[ -x $bin/varnolt ]]; then
  window=$(plain "$source/packaging/man/varnolt.1.in")
  window_synopsis=$(awk '/^\.SH SYNOPSIS/ {on = 1; next} /^\.SH / {on = 0} on' <<<"$window")
  for option in $("$bin/varnolt" --help | grep -oE '^  --?[a-z][a-z-]*(, --[a-z-]+)?|^  --( |$)' | sed -E 's/^  //; s/^-[a-z], //; s/ *$//'); do
    grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" <<<"$window_synopsis" \
      || fail "varnolt.1's SYNOPSIS lacks $option, which 'varnolt --help' gives"
  done
fi

if ((failures > 0)); then
  echo "$failures failures"
  exit 1
fi
echo "the man pages name every option of the help"
