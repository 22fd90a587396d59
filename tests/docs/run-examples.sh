#!/usr/bin/env bash
# Runs every command example of the documentation, as a reader would: each page's
# examples in the order written, in an empty folder of its own, with the built
# programs on the PATH. An example must exit with the status its text gives (0
# unless it says `# exits N`) and print every output line the page shows under it.
# The pages: README.md, docs/*.md, the help of varnolt-cli and of each of its
# commands (the lines under "Examples:"), and the man pages' EXAMPLES.
# docs/developing.md describes how an example is marked.
# Usage: run-examples.sh BIN_DIR SOURCE_DIR [PAGE...]   (PAGE: a .md file to run alone)
set -uo pipefail
bin=$(cd "$1" && pwd) source=$(cd "$2" && pwd)
shift 2
extract="$source/tests/docs/extract-examples.awk"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Debian's python3 (with pandas) before any other the PATH names, as a reader of the
# guides on Debian has it.
export PATH="$bin:/usr/bin:$PATH" LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
failures=0 examples=0 skipped=0

# The help's "Examples:" lines and the man pages' .EX blocks, as Markdown code
# blocks, on the lines where they stand (so that messages give true line numbers).
# In the help each example is a command: a line indented by two starts one (any
# command, `printf ... > design.csv` too), and a line indented further goes on
# with the one before, after its backslash.
help_as_markdown() {
  awk '/^[A-Za-z ]*[Ee]xamples?:[ \t]*$/ {print "```"; on = 1; next}
       on && /^[^ \t]/ {print "```"; on = 0}
       {line = $0
        if (on) {start = (line ~ /^  [^ \t]/); sub(/^[ \t]+/, "", line); if (start) line = "$ " line}
        print on ? line : ""}
       END {if (on) print "```"}'
}
man_as_markdown() {
  awk '/^\.EX/ {print "```"; on = 1; next}
       /^\.EE/ {print "```"; on = 0; next}
       on && /^\./ {print ""; next}
       {if (!on) {print ""; next}
        line = $0; gsub(/\\-/, "-", line); gsub(/\\e/, "\\", line); gsub(/\\\(dq/, "\"", line)
        gsub(/\\\(aq/, "'"'"'", line); gsub(/\\&/, "", line); print line}'
}

run_page() {  # NAME FILE: runs the examples of one page
  local name=$1 file=$2 folder status expected line command output count=0
  folder="$work/$(tr -c 'A-Za-z0-9.-' '_' <<<"$name")"
  mkdir -p "$folder"
  awk -f "$extract" "$file" >"$work/examples" || { echo "FAIL: $name: cannot read its examples"; failures=$((failures + 1)); return; }
  # Each example: "@ LINE STATUS", its command lines "C ...", the output shown "O ...".
  local -a lines=()
  mapfile -t lines <"$work/examples"
  local i=0 n=${#lines[@]}
  while ((i < n)); do
    read -r _ line expected <<<"${lines[i]}"
    command="" && ((i++))
    while ((i < n)) && [[ ${lines[i]} == "C "* ]]; do command+="${lines[i]:2}"$'\n'; ((i++)); done
    local -a shown=()
    while ((i < n)) && [[ ${lines[i]} == "O "* ]]; do shown+=("${lines[i]:2}"); ((i++)); done
    if [[ $command == varnolt\ * && ! -x $bin/varnolt ]]; then skipped=$((skipped + 1)); continue; fi
    count=$((count + 1)) examples=$((examples + 1))
    (cd "$folder" && timeout 600 bash -c "$command" </dev/null >"$work/output" 2>&1)
    status=$?
    output=$(sed 's/[ \t\r]*$//' "$work/output")
    if [[ $status != "$expected" ]]; then
      failures=$((failures + 1))
      printf 'FAIL: %s line %s exited %s, the text says %s:\n%s--- it printed:\n%s\n' \
        "$name" "$line" "$status" "$expected" "$command" "$(head -c 3000 <<<"$output")"
      continue
    fi
    local want
    for want in "${shown[@]}"; do
      want=$(sed 's/[ \t]*$//' <<<"$want")
      [[ $want == "..." || -z $want ]] && continue
      if ! grep -Fxq -- "$want" <<<"$output"; then
        failures=$((failures + 1))
        printf 'FAIL: %s line %s shows a line the command does not print:\n%s  shown:   %s\n--- it printed:\n%s\n' \
          "$name" "$line" "$command" "$want" "$(head -c 3000 <<<"$output")"
        break
      fi
    done
  done
  echo "$name: $count examples"
}

if (($# > 0)); then
  for page in "$@"; do run_page "${page#"$source"/}" "$page"; done
else
  run_page README.md "$source/README.md"
  [[ $examples -gt 0 ]] || { echo "FAIL: README.md has no examples"; failures=$((failures + 1)); }
  for page in "$source"/docs/*.md; do run_page "docs/${page##*/}" "$page"; done
  varnolt-cli --help | help_as_markdown >"$work/help.md"
  run_page "varnolt-cli --help" "$work/help.md"
  for command in $(varnolt-cli --help | awk '/^Commands:/ {on = 1; next} on && /^$/ {exit} on && /^  [a-z]/ {print $1}'); do
    [[ $command == help ]] && continue
    varnolt-cli "$command" --help >"$work/help-$command.txt" 2>/dev/null
    # Every command's help ends with its examples.
    if ! awk '/^Examples:$/ {on = 1; next} on && /^[^ \t]/ {bad = 1} END {exit !(on && !bad)}' \
        "$work/help-$command.txt"; then
      echo "FAIL: varnolt-cli $command --help does not end with an Examples: section"
      failures=$((failures + 1))
    fi
    help_as_markdown <"$work/help-$command.txt" >"$work/help-$command.md"
    run_page "varnolt-cli $command --help" "$work/help-$command.md"
  done
  for page in "$source"/packaging/man/*.1.in; do
    man_as_markdown <"$page" >"$work/man.md"
    run_page "${page#"$source"/}" "$work/man.md"
  done
fi

echo "$examples examples run"
((skipped > 0)) && echo "$skipped examples of the window skipped: it is not built"
if ((failures > 0)); then
  echo "$failures failures"
  exit 1
fi
