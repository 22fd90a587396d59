#!/usr/bin/env bash
# Stops a sweep again and again at random moments and resumes it each time, and
# checks that the table it ends with is, byte for byte, the table an unbroken
# run writes, with a record that describes it.
#
#   scripts/kill-resume-loop.sh [TRIALS] [BIN_DIR] [SEED]
#
# Each trial starts afresh and runs `sweep ... --resume --csv t.csv` until it
# finishes; every attempt but the last is stopped after a random delay (up to
# 0.4 s) by TERM, HUP, INT or KILL (KILL leaves a temporary file behind, which
# the next attempt ignores). Every third trial is a sharded one: each of its three parts is
# stopped and resumed the same way, then the parts are merged. Every fifth
# trial also sends four runners of two designs to one table at once, then
# resumes: the table must be the unbroken one of whichever design resumes it, or
# be refused. The delays and signals come from SEED (the trial's number unless
# given), so that a failing trial can be run again. Prints one line per trial
# and the totals; exits 1 when any trial ended with another table.
set -u
trials=${1:-100}
bin=$(realpath "${2:-build/bin}")
base_seed=${3:-}
cli="$bin/varnolt-cli"
[ -x "$cli" ] || { echo "kill-resume-loop: no $cli; build varnolt-cli first" >&2; exit 2; }

work=$(mktemp -d /tmp/varnolt-kill-loop.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Enough runs that a stop lands in the middle: about a second on two threads.
design=(sweep --set cycleCount=300 --set palmCount=1500 --vary randomPercent=0:99 --replicates 3 --seed 17)
other=(sweep --set cycleCount=300 --set palmCount=1501 --vary randomPercent=0:99 --replicates 3 --seed 17)
"$cli" "${design[@]}" --csv whole.csv >/dev/null 2>&1 || { echo "kill-resume-loop: the unbroken run failed" >&2; exit 2; }
"$cli" "${other[@]}" --csv other.csv >/dev/null 2>&1 || exit 2
signals=(TERM HUP INT KILL)
failures=0 stops=0 leftovers=0

# Runs `"$@" --resume --csv TABLE` until it ends with status 0, stopping each
# attempt but the last after a random delay; counts the stops.
resume_until_done() {
  local table=$1; shift
  local attempt
  for attempt in $(seq 1 50); do
    "$cli" "$@" --resume --csv "$table" >/dev/null 2>>errors.txt &
    local pid=$!
    local delay=$(( RANDOM % 400 ))
    sleep "$(printf '0.%03d' "$delay")"
    if kill -0 "$pid" 2>/dev/null; then
      kill -s "${signals[RANDOM % 4]}" "$pid" 2>/dev/null && stops=$((stops + 1))
    fi
    wait "$pid"
    local status=$?
    [ "$status" -eq 0 ] && return 0
    case $status in 130|129|143|137) ;; *) echo "  attempt $attempt ended with status $status" ; tail -2 errors.txt; return 1 ;; esac
  done
  return 1
}

for trial in $(seq 1 "$trials"); do
  RANDOM=${base_seed:-$trial}
  rm -rf t.* part-* .varnolt-*.tmp 2>/dev/null
  rm -f errors.txt
  kind=plain
  if [ $((trial % 3)) -eq 0 ]; then
    kind=sharded
    ok=1
    for k in 1 2 3; do
      resume_until_done "part-$k.csv" "${design[@]}" --shard "$k/3" || ok=0
    done
    if [ "$ok" -eq 1 ] && "$cli" merge part-1.csv part-2.csv part-3.csv -o t.csv >/dev/null 2>>errors.txt; then :; else ok=0; fi
  else
    ok=1
    resume_until_done t.csv "${design[@]}" || ok=0
  fi
  if [ "$ok" -eq 1 ] && cmp -s t.csv whole.csv; then result=same; else result=DIFFERENT; failures=$((failures + 1)); fi
  if [ $((trial % 5)) -eq 0 ]; then
    # Four runners of two designs on one table at once, stopped or not.
    rm -f c.csv c.json
    for i in 1 2 3 4; do
      if [ $((i % 2)) -eq 0 ]; then "$cli" "${design[@]}" --csv c.csv >/dev/null 2>&1 &
      else "$cli" "${other[@]}" --csv c.csv >/dev/null 2>&1 & fi
    done
    sleep "$(printf '0.%03d' $(( RANDOM % 900 )))"
    kill -s "${signals[RANDOM % 4]}" %1 2>/dev/null
    wait
    four=ok
    for which in design other; do
      if [ $which = design ]; then args=("${design[@]}"); expected=whole.csv; else args=("${other[@]}"); expected=other.csv; fi
      before=$(cat c.csv 2>/dev/null | cksum)
      if "$cli" "${args[@]}" --resume --csv c.csv >/dev/null 2>&1; then
        cmp -s c.csv "$expected" || { four="$which resumed ANOTHER table"; failures=$((failures + 1)); }
      elif [ "$(cat c.csv 2>/dev/null | cksum)" != "$before" ]; then
        four="a refused resume CHANGED the table"; failures=$((failures + 1))
      fi
    done
    result="$result; four writers: $four"
  fi
  left=$(find . -maxdepth 1 -name '.varnolt-*.tmp' | wc -l)
  leftovers=$((leftovers + left))
  echo "trial $trial ($kind): $result"
done
echo "kill-resume-loop: $trials trials, $stops stops, $failures ended with another table; $leftovers temporary files left by KILL"
[ "$failures" -eq 0 ]
