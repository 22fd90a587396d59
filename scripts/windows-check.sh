#!/usr/bin/env bash
# Checks VARNOLT on Windows, from Debian, in two parts.
#
# The runner: cross-builds varnolt-cli and the plain tests with mingw-w64, runs
# the tests under Wine, and compares what varnolt-cli.exe writes (reports, CSV,
# JSON, settings files, experiment tables) byte for byte with the Linux build,
# on files and folders with plain and with accented names.
#
# The window: cross-builds varnolt.exe and the window's tests against Qt built
# for Windows from Debian's qt6-base source package, lays varnolt.exe out with
# its DLLs and plugins as an installed program has them, runs the tests under
# Wine on a virtual display (Xvfb), compares a saved run with the Linux window's
# byte for byte, starts varnolt.exe, and installs it with an NSIS installer
# under a fresh Wine prefix and starts it from there.
#
#   scripts/windows-check.sh [LINUX_BUILD_DIR]            both parts; the window
#                                                         only when Qt for Windows
#                                                         is in the cache
#   scripts/windows-check.sh --runner [LINUX_BUILD_DIR]   the runner alone
#   scripts/windows-check.sh --window [LINUX_BUILD_DIR]   the window alone; builds
#                                                         Qt for Windows first when
#                                                         the cache has none
#   scripts/windows-check.sh --window --if-cached [DIR]   the window alone; skipped
#                                                         (status 77) without Qt
#
# LINUX_BUILD_DIR defaults to build; the window part configures and builds it
# when there is none. What it needs from Debian (the cross compiler, Wine, deb-src
# lines for the source packages of the libraries) comes with scripts/setup.sh,
# which it runs when something is missing. It builds Highway, oneTBB, CLI11,
# nlohmann-json, NLopt and Qt for Windows from Debian's source packages once and
# keeps them in $VARNOLT_WINDOWS_CACHE (default ~/.cache/varnolt-windows), with
# the Wine prefix and the cross builds' ccache. The cross builds go to
# LINUX_BUILD_DIR/windows and LINUX_BUILD_DIR/windows-window. The last line the
# window part prints is the folder that holds varnolt.exe ready to start.
#
# Exit status: 0 when everything passed and every file is the same; 1 on any
# failure or difference; 77 (a skipped ctest) only on a machine that cannot run
# it (not x86-64 Linux, or without the tools and no way to install them), or
# with --if-cached when Qt for Windows is not in the cache.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
run_runner=true
run_window=auto
while [ $# -gt 0 ]; do
  case "$1" in
    --runner) run_runner=true; run_window=false ;;
    --window) run_runner=false; [ "$run_window" = cached ] || run_window=true ;;
    --if-cached) run_window=cached ;;
    --) shift; break ;;
    -*) printf 'windows-check: unknown option %s (see the top of %s)\n' "$1" "$0" >&2; exit 2 ;;
    *) break ;;
  esac
  shift
done
[ "$run_window" != cached ] || run_runner=false
linux_build=$(realpath -m "${1:-$root/build}")
cache=${VARNOLT_WINDOWS_CACHE:-${XDG_CACHE_HOME:-${HOME:-/root}/.cache}/varnolt-windows}
jobs=${VARNOLT_WINDOWS_JOBS:-$(nproc)}
prefix=$cache/prefix
cross_build=$linux_build/windows
window_build=$linux_build/windows-window
toolchain=$root/cmake/mingw-w64-x86_64.cmake
started=$(date +%s)

say() { printf 'windows-check: %s\n' "$*"; }
fail() { printf 'windows-check: FAILED: %s\n' "$*" >&2; exit 1; }
skip() { printf 'windows-check: SKIPPED: %s\n' "$*" >&2; exit 77; }

# --- 1. The cross compiler, Wine, and the sources of the libraries ------------

[ "$(uname -s)" = Linux ] && [ "$(uname -m)" = x86_64 ] ||
  skip "this check runs on x86-64 Linux (64-bit Wine and mingw-w64), not on $(uname -s) $(uname -m)"

# The cross compiler and Wine, and the Linux build's libraries, whose versions
# are the ones built for Windows.
packages=(g++-mingw-w64-x86-64-posix wine wine64 dpkg-dev cmake libgtest-dev libboost-dev libhwy-dev libtbb-dev
          nlohmann-json3-dev libcli11-dev libnlopt-dev)
# The window's: Qt's host tools and Ninja for the Qt build, a virtual display, a
# screenshot, the installer.
[ "$run_window" = false ] ||
  packages+=(qt6-base-dev qt6-base-dev-tools ninja-build xvfb imagemagick xdotool nsis)
missing_packages() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || printf '%s ' "$p"
  done
}
if [ -n "$(missing_packages)" ]; then
  if ! command -v apt-get >/dev/null || ! command -v dpkg-query >/dev/null; then
    skip "it needs Debian's packages $(missing_packages)and this is no Debian machine to install them on"
  elif [ "$(id -u)" -ne 0 ] && ! sudo -n true 2>/dev/null; then
    skip "it needs $(missing_packages)(scripts/setup.sh installs them, as root)"
  fi
  mkdir -p "$cache"
  say "installing $(missing_packages)with scripts/setup.sh"
  "$root/scripts/setup.sh" >"$cache/setup.log" 2>&1 || { tail -20 "$cache/setup.log"; fail "scripts/setup.sh"; }
  [ -z "$(missing_packages)" ] || fail "scripts/setup.sh left $(missing_packages)missing"
fi
# Qt for Windows, for the window part: Qt's base modules (Core, Gui, Widgets,
# Test) and the windows platform and style plugins, from Debian's source package
# of the Qt the Linux build uses, against Debian's host tools (moc, rcc, uic).
# Built in place (the build folder is the Qt folder, nothing installed), once.
# Every library for Windows is of the version the Linux build uses.
installed_version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo unknown; }
qt_version=$(installed_version qt6-base-dev)
qt_dir=$cache/qt6-${qt_version%%[+-]*}
qt_stamp=$qt_dir/.varnolt-built-$qt_version
qt_targets=(Core Gui Widgets Test EntryPointImplementation QWindowsIntegrationPlugin QWindowsVistaStylePlugin)
qt_missing="Qt for Windows is not in $cache yet. Building it once takes about 45 minutes on two idle \
cores, longer than one test run may take; warm the cache with 'scripts/windows-check.sh --window' (see \
docs/packaging.md), and the window part runs in every check after that"
# Asked for the window alone, and only from the cache: nothing to do without it.
[ "$run_window" != cached ] || [ -f "$qt_stamp" ] || skip "the window part: $qt_missing"

# --- 2. The libraries for Windows ---------------------------------------------

mkdir -p "$cache/src" "$prefix/include"
# One check at a time per cache: two would build the same library in the same
# folder, and share one Wine prefix.
exec 9>"$cache/.lock"
if ! flock -n 9; then
  say "waiting for another Windows check that uses $cache to end"
  flock 9
fi
say "libraries for Windows in $prefix"


# Builds and installs one CMake project for Windows unless the stamp says it is there.
cross_install() {
  local name=$1 version=$2 source=$3
  shift 3
  local stamp="$prefix/.built-$name-$version"
  [ -f "$stamp" ] && return 0
  say "building $name $version for Windows (once; kept in $cache)"
  local build="$cache/build-$name"
  rm -rf "$build"
  cmake -S "$source" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" "$@" >"$cache/$name.log" 2>&1 ||
    { tail -30 "$cache/$name.log"; fail "configuring $name"; }
  cmake --build "$build" -j"$jobs" >>"$cache/$name.log" 2>&1 || { tail -30 "$cache/$name.log"; fail "building $name"; }
  cmake --install "$build" >>"$cache/$name.log" 2>&1 || { tail -30 "$cache/$name.log"; fail "installing $name"; }
  rm -rf "$build"
  touch "$stamp"
}

# Unpacks Debian's source package `name` at `version` into the cache; prints its folder.
debian_source() {
  local name=$1 version=$2
  local folder="$cache/src/$name-$version"
  if [ ! -d "$folder" ]; then
    # apt-get source needs deb-src lines; scripts/setup.sh adds them beside the
    # machine's own lines, for the same archive.
    if ! apt-cache showsrc "$name" 2>/dev/null | grep -q "^Package: $name\$"; then
      [ "$(id -u)" -eq 0 ] || sudo -n true 2>/dev/null ||
        skip "it needs Debian's source packages, and no deb-src lines (scripts/setup.sh adds them, as root)"
      say "adding Debian's source lines with scripts/setup.sh" >&2
      "$root/scripts/setup.sh" >"$cache/setup.log" 2>&1 || { tail -20 "$cache/setup.log" >&2; fail "scripts/setup.sh"; }
    fi
    local unpack="$cache/src/unpack-$name"
    rm -rf "$unpack" && mkdir -p "$unpack"
    (cd "$unpack" && apt-get source -q "$name=$version" >"$cache/$name-source.log" 2>&1) ||
      (cd "$unpack" && apt-get source -q "$name" >>"$cache/$name-source.log" 2>&1) ||
      { tail -20 "$cache/$name-source.log" >&2; fail "apt-get source $name"; }
    mv "$(find "$unpack" -mindepth 1 -maxdepth 1 -type d | head -1)" "$folder"
    rm -rf "$unpack"
  fi
  echo "$folder"
}

hwy_version=$(installed_version libhwy-dev)
tbb_version=$(installed_version libtbb-dev)
json_version=$(installed_version nlohmann-json3-dev)
gtest_version=$(installed_version libgtest-dev)
cli11_version=$(installed_version libcli11-dev)
nlopt_version=$(installed_version libnlopt-dev)

# Each source is fetched before its build, so that a failure to fetch it ends the check.
cross_install googletest "$gtest_version" /usr/src/googletest -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
source_dir=$(debian_source highway "$hwy_version")
cross_install highway "$hwy_version" "$source_dir" \
  -DBUILD_TESTING=OFF -DHWY_ENABLE_TESTS=OFF -DHWY_ENABLE_EXAMPLES=OFF -DHWY_ENABLE_CONTRIB=OFF \
  -DHWY_ENABLE_INSTALL=ON -DBUILD_SHARED_LIBS=OFF -DHWY_WARNINGS_ARE_ERRORS=OFF
source_dir=$(debian_source onetbb "$tbb_version")
cross_install onetbb "$tbb_version" "$source_dir" \
  -DTBB_TEST=OFF -DTBB_EXAMPLES=OFF -DTBB_STRICT=OFF -DTBBMALLOC_BUILD=OFF -DTBB_ENABLE_IPO=OFF
source_dir=$(debian_source nlohmann-json3 "$json_version")
cross_install nlohmann-json "$json_version" "$source_dir" -DJSON_BuildTests=OFF -DJSON_Install=ON
source_dir=$(debian_source cli11 "$cli11_version")
cross_install cli11 "$cli11_version" "$source_dir" \
  -DCLI11_BUILD_TESTS=OFF -DCLI11_BUILD_EXAMPLES=OFF -DCLI11_BUILD_DOCS=OFF -DCLI11_INSTALL=ON
# NLopt's C algorithms (calibrate's search), a static library without its bindings.
source_dir=$(debian_source nlopt "$nlopt_version")
cross_install nlopt "$nlopt_version" "$source_dir" \
  -DBUILD_SHARED_LIBS=OFF -DNLOPT_CXX=OFF -DNLOPT_FORTRAN=OFF -DNLOPT_PYTHON=OFF -DNLOPT_OCTAVE=OFF \
  -DNLOPT_MATLAB=OFF -DNLOPT_GUILE=OFF -DNLOPT_SWIG=OFF -DNLOPT_TESTS=OFF
# Boost's Sobol sequence is headers only, the same for every platform.
[ -e "$prefix/include/boost" ] || ln -s /usr/include/boost "$prefix/include/boost"

# --- 3. Wine, and the cross builds' ccache ----------------------------------------

# ccache keeps the cross build's objects beside the libraries unless told otherwise,
# so that a later run (a CI run on the same machine) compiles only what changed.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_DIR=${CCACHE_DIR:-$cache/ccache} CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
fi
export WINEPREFIX="$cache/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/.varnolt-ready" ]; then
  say "preparing the Wine prefix $WINEPREFIX"
  wineboot --init >/dev/null 2>&1 || true
  wineserver -w
  touch "$WINEPREFIX/.varnolt-ready"
fi
# One Wine server for the whole check: one that ends after each program races
# the start of the next, which then fails now and then ("wine client error").
# It is ended with the check, so that nothing of ours outlives it.
wineserver -p >/dev/null 2>&1 || true
cleanup_commands=('wineserver -k >/dev/null 2>&1 || true; wineserver -w >/dev/null 2>&1 || true')
cleanup() {
  local command
  for command in "${cleanup_commands[@]}"; do eval "$command"; done
}
trap cleanup EXIT

winerun() { wine "$@"; }

# Runs FOLDER/bin/TEST.exe under Wine from FOLDER (any further NAME=VALUE words go
# into its environment), prints its totals, and fails the check when it fails. A
# test that waits forever (a lost wake-up) is stopped after a generous while
# rather than left to hold the machine until ctest gives up.
run_wine_test() {
  local folder=$1 test=$2 status=0
  shift 2
  say "running $test.exe under Wine"
  (cd "$folder" && env "$@" timeout 1200 wine "bin/$test.exe" --gtest_brief=1) >"$folder/$test.log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    cat "$folder/$test.log"
    [ "$status" -ne 124 ] || fail "$test.exe did not end within 20 minutes"
    fail "$test.exe"
  fi
  tail -3 "$folder/$test.log" | grep -E 'PASSED|SKIPPED' || true
}

if $run_runner; then
# --- 4. varnolt-cli and the plain tests for Windows ----------------------------

say "cross-building into $cross_build"
cmake -S "$root" -B "$cross_build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" -DVARNOLT_BUILD_GUI=OFF -DVARNOLT_BUILD_BENCH=OFF "${launcher[@]}" \
  >"$cross_build.configure.log" 2>&1 || { tail -40 "$cross_build.configure.log"; fail "configuring the cross build"; }
plain_tests=(platform_base_tests model_tests report_tests settings_tests run_tests experiments_tests calibration_tests
             cli_tests)
cmake --build "$cross_build" -j"$jobs" --target varnolt-cli "${plain_tests[@]}" >"$cross_build.build.log" 2>&1 ||
  { grep -E 'error|Error' "$cross_build.build.log" | head -40; fail "cross-building"; }

# The programs find their DLLs beside them, as an installed copy does.
runtime_dlls=(libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
for dll in "${runtime_dlls[@]}"; do
  found=$(x86_64-w64-mingw32-g++-posix -print-file-name="$dll")
  [ -f "$found" ] || found=$(find /usr/lib/gcc/x86_64-w64-mingw32 /usr/x86_64-w64-mingw32 -name "$dll" | head -1)
  [ -f "$found" ] || fail "no $dll in the mingw-w64 installation"
  cp -u "$found" "$cross_build/bin/"
done
cp -u "$prefix"/bin/*.dll "$cross_build/bin/"

# --- 5. The plain tests under Wine ---------------------------------------------

for test in "${plain_tests[@]}"; do
  run_wine_test "$cross_build" "$test"
done

# --- 6. The same files from Linux and from Windows -----------------------------

# Both programs from the same sources: the version text (the commit) goes into
# the stamps of shard parts, which would differ otherwise.
cmake --build "$linux_build" -j"$jobs" --target varnolt-cli >"$cross_build.linux-build.log" 2>&1 ||
  { tail -20 "$cross_build.linux-build.log"; fail "building the Linux varnolt-cli"; }
linux_cli=$linux_build/bin/varnolt-cli
windows_cli=$cross_build/bin/varnolt-cli.exe
linux_version=$("$linux_cli" --version | head -1)
windows_version=$(wine "$windows_cli" --version | head -1 | tr -d '\r')
[ "$linux_version" = "$windows_version" ] ||
  fail "the Linux build says '$linux_version' and the Windows build '$windows_version'; build both from the same sources"
compare=$cross_build/compare
rm -rf "$compare"
mkdir -p "$compare/linux" "$compare/windows"

# Runs varnolt-cli with the same arguments on both sides, each in its own copy of
# the case's folder; both must end with the same status.
both() {
  local case=$1
  shift
  local status_linux=0 status_windows=0
  mkdir -p "$compare/linux/$case" "$compare/windows/$case"
  (cd "$compare/linux/$case" && "$linux_cli" "$@" >>stdout.txt 2>>stderr.txt) || status_linux=$?
  (cd "$compare/windows/$case" && winerun "$windows_cli" "$@" >>stdout.txt 2>"$compare/wine-stderr.txt") || status_windows=$?
  # Wine itself now and then prints "wine client error:...: sendmsg: Socket
  # operation on non-socket" while the program runs as it should; that line is
  # Wine's, not the program's, and is left out (and said) before comparing.
  if grep -q '^wine client error:' "$compare/wine-stderr.txt"; then
    say "$case: Wine printed a client error of its own; left out of the comparison"
  fi
  grep -v '^wine client error:' "$compare/wine-stderr.txt" >>"$compare/windows/$case/stderr.txt" || true
  [ "$status_linux" = "$status_windows" ] ||
    fail "$case: 'varnolt-cli $*' ended with status $status_linux on Linux, $status_windows on Windows: $(tail -2 "$compare/windows/$case/stderr.txt")"
  [ "$status_linux" = 0 ] || fail "$case: 'varnolt-cli $*' failed: $(tail -2 "$compare/linux/$case/stderr.txt")"
}
# The same file put in the case's folder on both sides.
both_write() {
  local case=$1 name=$2 content=$3
  for side in linux windows; do
    mkdir -p "$(dirname "$compare/$side/$case/$name")"
    printf '%s' "$content" >"$compare/$side/$case/$name"
  done
}

# Twenty-two settings cases: every setting away from its default at least once,
# treatments alone and together, a large stand and a long run.
cases=(
  "defaults|"
  "small|cycleCount=12 palmCount=3"
  "large-stand|cycleCount=60 palmCount=400"
  "sex-window|sexStressFirstFrond=15 sexStressLastFrond=35"
  "abort-window|abortStressFirstFrond=12 abortStressLastFrond=30"
  "sex-stage|sexStageStartFrond=-30 sexStageEndFrond=-8"
  "abortion-frond|abortionFrond=4"
  "female-threshold|femaleThreshold=10"
  "male-threshold|maleThreshold=25"
  "abort-threshold|abortThreshold=14"
  "random-none|randomPercent=0"
  "random-all|randomPercent=100"
  "leaf-pruning|leafPruning=1 leafPruneCycle=20 pruneStress=6"
  "trend|trendCycles=1 trendAmplitude=8"
  "irrigation|irrigation=1 irrigationStart=10 irrigationEnd=60"
  "flower-pruning|flowerPruning=1 flowerPruneStart=15 flowerPruneEnd=70"
  "initial-sex|initialNodeSex=1"
  "all-treatments|leafPruning=1 leafPruneCycle=30 pruneStress=4 irrigation=1 irrigationStart=5 irrigationEnd=50 flowerPruning=1 flowerPruneStart=20 flowerPruneEnd=40 trendCycles=1 trendAmplitude=5"
  "notes|runNotes=Essai_de_Ténéré_à_Bénin cycleCount=40"
  "long|cycleCount=500 palmCount=20"
  "tight-thresholds|femaleThreshold=12 maleThreshold=13 abortThreshold=18"
  "wide-windows|sexStressFirstFrond=5 sexStressLastFrond=45 abortStressFirstFrond=5 abortStressLastFrond=45"
)
say "comparing ${#cases[@]} settings cases, a sweep, merged shards, a batch, Morris, Sobol, replicates and calibrations"
seed=11
for entry in "${cases[@]}"; do
  name=${entry%%|*}
  read -r -a assignments <<<"${entry#*|}"
  seed=$((seed + 1))
  # The settings file as `set` writes it, what `show` reads back, and a run from
  # it with the report, the CSV table and the JSON record.
  both "$name" set settings.dat "${assignments[@]}" outputPath=report.dat
  both "$name" show settings.dat
  both "$name" run settings.dat --seed "$seed" --threads 2 --csv results.csv
done

both sweep sweep --set cycleCount=60 --set palmCount=8 --vary femaleThreshold=12:20:2 --vary randomPercent=0:50:25 \
  --replicates 2 --seed 5 --threads 2 --csv sweep.csv --cycles sweep-cycles.csv
both shards sweep --set cycleCount=60 --vary maleThreshold=14:22:2 --seed 6 --shard 1/2 --csv part1.csv
both shards sweep --set cycleCount=60 --vary maleThreshold=14:22:2 --seed 6 --shard 2/2 --csv part2.csv
both shards merge part1.csv part2.csv -o all.csv
both_write batch design.csv $'femaleThreshold,maleThreshold,randomPercent\r\n14,17,10\r\n16,19,25\r\n18,20,40\r\n'
both batch batch design.csv --set cycleCount=50 --replicates 2 --seed 8 --threads 2 --csv batch.csv
both morris sensitivity --set cycleCount=50 --set palmCount=5 --factor femaleThreshold=10:20 --factor randomPercent=0:50 \
  --method morris --trajectories 6 --seed 9 --threads 2 --csv morris.csv
both sobol sensitivity --set cycleCount=40 --set palmCount=4 --factor femaleThreshold=10:20 --factor abortThreshold=18:30 \
  --method sobol --samples 16 --bootstrap 50 --seed 10 --threads 2 --csv sobol.csv
both replicates run --set cycleCount=80 --replicates 4 --seed 12 --threads 2 --output replicates.dat --csv replicates.csv
# Calibration to a census the runner makes: over a whole grid, and with NLopt's
# search when the grid is larger than the budget.
both calibrate run --seed 7 --set cycleCount=80 --set palmCount=200 --set maleThreshold=19 --set abortThreshold=25 \
  --csv census.csv --output plantation.dat
both calibrate calibrate census.csv --set cycleCount=80 --fit maleThreshold=17:21 --fit abortThreshold=24:26 \
  --palms 200 --seed 1 --threads 2 -o best.dat --csv evaluations.csv --json fit.json
both calibrate calibrate census.csv --set cycleCount=80 --fit femaleThreshold=8:16 --fit maleThreshold=16:24 \
  --fit abortThreshold=20:30 --budget 40 --palms 100 --seed 2 --threads 2 -o searched.dat --csv searched.csv \
  --json searched.json

# Accented names of files and folders, in arguments and inside settings files.
both_write accents "Données d'essai/Übung/.keep" ""
both accents set "Données d'essai/naïve.dat" cycleCount=30 "runNotes=Café à Bénin" "outputPath=Données d'essai/Übung/résumé.dat"
both accents show "Données d'essai/naïve.dat"
both accents run "Données d'essai/naïve.dat" --seed 13 --set "runNotes=Crème brûlée"
both accents run "Données d'essai/naïve.dat" --seed 13 --output "Données d'essai/Übung/sortie n°2.dat" \
  --csv "Données d'essai/Übung/tableau é.csv"
both accents analyse "Données d'essai/Übung/sortie n°2.dat"

# Every file byte for byte. The JSON record differs only in when the run started,
# how long it took and which build ran it; the messages only in Windows' CR LF;
# calibrate's summary in the time its evaluations took.
differences=0
while IFS= read -r -d '' file; do
  relative=${file#"$compare/linux/"}
  windows_file=$compare/windows/$relative
  if [ ! -f "$windows_file" ]; then
    echo "missing on Windows: $relative"
    differences=$((differences + 1))
    continue
  fi
  case "$relative" in
    *.json) filter=(grep -v -E '"(startTime|runSeconds|seconds|version)"') ;;
    */stderr.txt) filter=(tr -d '\r') ;;
    # calibrate says how long its evaluations took
    */stdout.txt) filter=(sed -E 's/, [0-9]+([.][0-9]+)? s on ([0-9]+) thread/, (time) on \2 thread/') ;;
    *) filter=(cat) ;;
  esac
  if ! cmp -s <("${filter[@]}" <"$file") <("${filter[@]}" <"$windows_file"); then
    echo "differs: $relative"
    diff <("${filter[@]}" <"$file") <("${filter[@]}" <"$windows_file") | head -6 || true
    differences=$((differences + 1))
  fi
done < <(find "$compare/linux" -type f -print0)
linux_count=$(find "$compare/linux" -type f | wc -l)
windows_count=$(find "$compare/windows" -type f | wc -l)
[ "$linux_count" = "$windows_count" ] || { echo "Linux wrote $linux_count files, Windows $windows_count"; differences=$((differences + 1)); }
[ "$differences" = 0 ] || fail "$differences files differ between Linux and Windows (both kept in $compare)"
say "all $linux_count files are the same from Linux and from Windows"
fi

# --- 7. Qt for Windows -----------------------------------------------------------

window_skipped() {
  # Without --window the runner part has passed: the check passes and says what
  # it left out; with --window --if-cached it is a skipped test.
  if [ "$run_window" = cached ]; then skip "the window part: $*"; fi
  say "the window part was SKIPPED: $*"
  say "passed (the runner part) in $(( $(date +%s) - started )) s"
  exit 0
}

if [ "$run_window" != false ]; then
window_started=$(date +%s)
if [ ! -f "$qt_stamp" ]; then
  [ "$run_window" = true ] || window_skipped "$qt_missing"
  source_dir=$(debian_source qt6-base "$qt_version")
  say "building Qt $qt_version for Windows into $qt_dir (once: about 45 minutes on two idle cores; log in $cache/qt6-base.log)"
  qt_started=$(date +%s)
  # Qt's build folder names its toolchain file for good: a copy in the cache
  # outlives the checkout that started the build.
  qt_toolchain=$cache/mingw-w64-x86_64.cmake
  cmp -s "$toolchain" "$qt_toolchain" || cp "$toolchain" "$qt_toolchain"
  # Debian's source leaves out the tablet header the windows platform plugin
  # includes: no tablet events. No OpenGL, network, D-Bus or SQL: the window uses none.
  # Dynamic OpenGL is turned off by name too: with the OpenGL feature alone off it
  # stays on (and a configured folder keeps it), and the windows platform plugin
  # does not compile.
  cmake -S "$source_dir" -B "$qt_dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$qt_toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$qt_dir" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_TESTS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_dbus=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no \
    -DFEATURE_opengl_dynamic=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_system_zlib=OFF -DINPUT_openssl=no >"$cache/qt6-base.log" 2>&1 ||
    { tail -30 "$cache/qt6-base.log"; fail "configuring Qt for Windows"; }
  nice -n 10 ninja -C "$qt_dir" -j"$jobs" "${qt_targets[@]}" >>"$cache/qt6-base.log" 2>&1 ||
    { grep -E 'error|FAILED' "$cache/qt6-base.log" | head -30; fail "building Qt for Windows"; }
  touch "$qt_stamp"
  say "built Qt for Windows in $(( $(date +%s) - qt_started )) s"
else
  # A Qt built before a target joined the list gets it now (Ninja finds the rest
  # up to date in seconds).
  nice -n 10 ninja -C "$qt_dir" -j"$jobs" "${qt_targets[@]}" >>"$cache/qt6-base.log" 2>&1 ||
    { grep -E 'error|FAILED' "$cache/qt6-base.log" | tail -30; fail "bringing Qt for Windows up to date"; }
fi

# --- 8. The Linux window it is compared with ---------------------------------------

mkdir -p "$linux_build"
if [ ! -f "$linux_build/CMakeCache.txt" ]; then
  say "configuring the Linux build in $linux_build"
  cmake -S "$root" -B "$linux_build" -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >"$window_build.linux-configure.log" 2>&1 ||
    { tail -30 "$window_build.linux-configure.log"; fail "configuring the Linux build"; }
fi
mkdir -p "$window_build"
say "building the Linux window and its tests in $linux_build"
cmake --build "$linux_build" -j"$jobs" --target varnolt varnolt-cli app_tests >"$window_build.linux-build.log" 2>&1 ||
  { grep -E 'error|Error' "$window_build.linux-build.log" | head -30; fail "building the Linux window"; }

# --- 9. varnolt.exe and the window's tests for Windows --------------------------------

# Qt Charts and Qt SVG are not built for Windows here (see docs/packaging.md):
# the window is built without the plot and the pictures, and their tests are left out.
say "cross-building the window into $window_build"
cmake -S "$root" -B "$window_build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$qt_dir;$prefix" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DVARNOLT_WITH_CHARTS=OFF -DVARNOLT_BUILD_BENCH=OFF "${launcher[@]}" \
  >"$window_build/configure.log" 2>&1 || { tail -40 "$window_build/configure.log"; fail "configuring the window's cross build"; }
window_tests=(platform_qt_tests grid_tests app_tests)
cmake --build "$window_build" -j"$jobs" --target varnolt varnolt-cli "${window_tests[@]}" >"$window_build/build.log" 2>&1 ||
  { grep -E 'error|Error' "$window_build/build.log" | head -40; fail "cross-building the window"; }

# The folder an installed copy has (windeployqt's layout): the programs, the
# compiler's runtime, oneTBB and Qt beside them, Qt's plugins in their folders.
mingw_dll() {
  local found
  found=$(x86_64-w64-mingw32-g++-posix -print-file-name="$1")
  [ -f "$found" ] || found=$(find /usr/lib/gcc/x86_64-w64-mingw32 /usr/x86_64-w64-mingw32 -name "$1" | head -1)
  [ -f "$found" ] || fail "no $1 in the mingw-w64 installation"
  echo "$found"
}
deploy() {
  local folder=$1
  shift
  mkdir -p "$folder/platforms" "$folder/styles"
  for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do cp -u "$(mingw_dll "$dll")" "$folder/"; done
  cp -u "$prefix"/bin/*.dll "$folder/"
  for module in Core Gui Widgets "$@"; do cp -u "$qt_dir/bin/Qt6$module.dll" "$folder/"; done
  cp -u "$qt_dir/plugins/platforms/qwindows.dll" "$folder/platforms/"
  cp -u "$qt_dir/plugins/styles/qwindowsvistastyle.dll" "$folder/styles/"
}
deploy "$window_build/bin" Test
kept=$window_build/VARNOLT
rm -rf "$kept"
mkdir -p "$kept"
cp "$window_build/bin/varnolt.exe" "$window_build/bin/varnolt-cli.exe" "$kept/"
deploy "$kept"

# Every DLL that a program or DLL in the folder names is in the folder or is one
# of Windows' own (in a Wine prefix's system32, or an API set such as
# api-ms-win-core-synch-l1-2-0.dll, which Windows' loader maps to its own DLLs).
system32=$WINEPREFIX/drive_c/windows/system32
while IFS= read -r -d '' binary; do
  for dll in $(x86_64-w64-mingw32-objdump -p "$binary" | sed -n 's/^\s*DLL Name: //p'); do
    case "${dll,,}" in api-ms-win-*.dll | ext-ms-win-*.dll) continue ;; esac
    [ -n "$(find "$kept" "$system32" -maxdepth 1 -iname "$dll" -print -quit)" ] ||
      fail "${binary#"$kept/"} needs $dll, which is neither in $kept nor one of Windows' DLLs"
  done
done < <(find "$kept" -iname '*.exe' -print0 -o -iname '*.dll' -print0)

# --- 10. The window's tests under Wine, on a virtual display -------------------------

display_file=$window_build/display
rm -f "$display_file"
Xvfb -displayfd 8 -screen 0 1280x900x24 -nolisten tcp 8>"$display_file" >"$window_build/xvfb.log" 2>&1 &
xvfb_pid=$!
cleanup_commands=("kill $xvfb_pid 2>/dev/null || true" "${cleanup_commands[@]}")
for _ in $(seq 1 100); do [ -s "$display_file" ] && break; sleep 0.1; done
[ -s "$display_file" ] || fail "Xvfb did not start: $(tail -3 "$window_build/xvfb.log")"
export DISPLAY=:$(head -1 "$display_file")
unset QT_QPA_PLATFORM

for test in "${window_tests[@]}"; do
  run_wine_test "$window_build" "$test" VARNOLT_WINDOW_RUN_KEEP="$window_build/run-windows"
done

# The same session in the Linux window: 770 cycles of 1,000 palms, the settings
# saved; the settings file and the report are the same bytes from both.
say "the window's run of 770 cycles x 1,000 palms on Linux, compared with Windows'"
rm -rf "$window_build/run-linux"
VARNOLT_WINDOW_RUN_KEEP="$window_build/run-linux" QT_QPA_PLATFORM=offscreen "$linux_build/bin/app_tests" \
  --gtest_filter='WindowRun.*' --gtest_brief=1 >"$window_build/run-linux.log" 2>&1 ||
  { cat "$window_build/run-linux.log"; fail "the Linux window's run"; }
for name in window-run.dat window-report.dat; do
  [ -s "$window_build/run-windows/$name" ] || fail "the Windows window kept no $name"
  cmp "$window_build/run-linux/$name" "$window_build/run-windows/$name" ||
    fail "$name differs between the Linux and the Windows window (both in $window_build/run-*)"
done

# --- 11. varnolt.exe itself -----------------------------------------------------------

# Starts a varnolt.exe on the settings file, waits for its main window, takes a
# screenshot of the display, then asks it to close (WM_CLOSE, as the window's close
# box does) and expects it to end with status 0.
start_and_close() {
  local exe=$1 settings=$2 picture=$3 window="" status=0 pid
  (cd "$(dirname "$exe")" && exec timeout 300 wine "$exe" "$settings") >"$picture.log" 2>&1 &
  pid=$!
  for _ in $(seq 1 240); do
    window=$(xdotool search --onlyvisible --name ' - VARNOLT$' 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.5
  done
  [ -n "$window" ] || { cat "$picture.log"; fail "$exe showed no main window"; }
  local title
  title=$(xdotool getwindowname "$window")
  [ "$title" = "$(basename "$settings") - VARNOLT" ] || fail "$exe's window is titled '$title'"
  # The first paint: a picture of more than a few colours.
  for _ in $(seq 1 20); do
    sleep 0.5
    import -window root "$picture"
    [ "$(identify -format '%k' "$picture")" -gt 16 ] && break
  done
  wine taskkill /im "$(basename "$exe")" >/dev/null 2>&1 || true
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || { cat "$picture.log"; fail "$exe ended with status $status when asked to close"; }
}
say "starting varnolt.exe from $kept"
start_and_close "$kept/varnolt.exe" "$window_build/run-windows/window-run.dat" "$window_build/varnolt-window.png"

# --- 12. The installer, in a fresh Wine prefix ------------------------------------------

version=$(sed -n 's/^project(VARNOLT VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
installer=$window_build/VARNOLT-$version-setup.exe
say "making $installer with makensis"
makensis -V2 -DFOLDER="$kept" -DOUTFILE="$installer" -DVERSION="$version" -DLICENSE="$root/LICENSE" \
  "$root/packaging/windows/FolderInstaller.nsi" >"$window_build/makensis.log" 2>&1 ||
  { tail -20 "$window_build/makensis.log"; fail "makensis"; }

fresh=$window_build/wine-fresh
rm -rf "$fresh"
say "installing it silently under a fresh Wine prefix"
WINEPREFIX=$fresh wineboot --init >/dev/null 2>&1 || true
cleanup_commands=("WINEPREFIX='$fresh' wineserver -k >/dev/null 2>&1 || true" "${cleanup_commands[@]}")
WINEPREFIX=$fresh wine "$installer" /S >"$window_build/install.log" 2>&1 ||
  { cat "$window_build/install.log"; fail "the installer"; }
installed=$(find "$fresh/drive_c/users" -ipath '*/AppData/Local/Programs/VARNOLT/varnolt.exe' | head -1)
[ -n "$installed" ] || fail "the installer put no varnolt.exe in the user's Programs folder"
[ -f "$(dirname "$installed")/Uninstall.exe" ] || fail "the installer left no uninstaller"
[ -n "$(find "$fresh/drive_c" -ipath '*Start Menu/Programs/VARNOLT/VARNOLT.lnk' | head -1)" ] ||
  fail "the installer put no VARNOLT in the Start menu"
say "starting the installed varnolt.exe"
WINEPREFIX=$fresh start_and_close "$installed" "$window_build/run-windows/window-run.dat" "$window_build/installed-window.png"
# The uninstaller, run in place (_?=) so that it ends before the check looks:
# it leaves neither the programs nor the Start-menu entry (nor itself, which
# only a copy run from elsewhere can remove).
installed_folder=$(dirname "$installed")
WINEPREFIX=$fresh wine "$installed_folder/Uninstall.exe" /S "_?=$(WINEPREFIX=$fresh winepath -w "$installed_folder")" \
  >>"$window_build/install.log" 2>&1 || { cat "$window_build/install.log"; fail "the uninstaller"; }
[ ! -e "$installed" ] || fail "the uninstaller left $installed"
[ -z "$(find "$fresh/drive_c" -ipath '*Start Menu/Programs/VARNOLT*' | head -1)" ] ||
  fail "the uninstaller left VARNOLT in the Start menu"
WINEPREFIX=$fresh wineserver -k >/dev/null 2>&1 || true

say "the window part passed in $(( $(date +%s) - window_started )) s"
say "passed in $(( $(date +%s) - started )) s"
echo "$kept"
exit 0
fi

say "passed in $(( $(date +%s) - started )) s"
