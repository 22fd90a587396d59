#!/usr/bin/env bash
# Installs the build into a temporary prefix, as `cmake --install` does for a
# user, and checks what lands there: every file, the desktop entry, metainfo
# and man pages under their validators, the installed programs, and that the
# man page and the bash completion know every command, option and setting that
# `varnolt-cli help` lists.
# Usage: check-install.sh BUILD_DIR SOURCE_DIR
set -uo pipefail  # (grep -q reads from variables, never from a pipe it may close early)
build=$1 source=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1; then
  cat "$prefix.log"; rm -f "$prefix.log"; echo "FAIL: cmake --install"; exit 1
fi
rm -f "$prefix.log"

# --- The files --------------------------------------------------------------
metainfo=$(ls "$prefix"/share/metainfo/*.metainfo.xml 2>/dev/null | head -n1)
[[ -n $metainfo ]] || fail "no metainfo file in share/metainfo"
for file in bin/varnolt bin/varnolt-cli; do
  [[ -x $prefix/$file ]] || fail "$file is missing or not executable"
done
for file in share/applications/varnolt.desktop share/man/man1/varnolt.1 share/man/man1/varnolt-cli.1 \
    share/bash-completion/completions/varnolt-cli share/doc/varnolt/README.md share/doc/varnolt/LICENSE \
    share/icons/hicolor/scalable/apps/varnolt.svg; do
  [[ -s $prefix/$file ]] || fail "$file is missing or empty"
done
grep -q "GNU GENERAL PUBLIC LICENSE" "$prefix/share/doc/varnolt/LICENSE" || fail "LICENSE is not the GPL"
# The sample data and the Slurm script, which the guides send a reader to: the
# installed runner reads the samples as they stand.
examples=$prefix/share/varnolt/examples
[[ -x $examples/varnolt-sweep.sbatch ]] || fail "share/varnolt/examples/varnolt-sweep.sbatch is missing or not executable"
bash -n "$examples/varnolt-sweep.sbatch" || fail "the installed Slurm script is no valid bash"
samples=$(mktemp -d)
(cd "$samples" && "$prefix/bin/varnolt-cli" batch "$examples/sample-design.csv" --set cycleCount=300 --set palmCount=20 \
   --seed 1 --csv design.csv >/dev/null 2>&1) || fail "varnolt-cli batch refuses the installed sample-design.csv"
(cd "$samples" && "$prefix/bin/varnolt-cli" calibrate "$examples/sample-census.csv" --set cycleCount=300 \
   --fit maleThreshold=16:22 --fit abortThreshold=21:27 --dry-run >/dev/null 2>&1) \
  || fail "varnolt-cli calibrate refuses the installed sample-census.csv"
rm -rf "$samples"
# Every file the installed README and guides link to is installed beside them.
doc=$prefix/share/doc/varnolt
for file in CHANGELOG.md CITATION.cff docs/runner.md docs/settings.md; do
  [[ -s $doc/$file ]] || fail "share/doc/varnolt/$file is missing or empty"
done
for page in "$doc"/*.md "$doc"/docs/*.md; do
  while read -r target; do
    [[ -e $(dirname "$page")/$target ]] || fail "${page#"$doc"/} links $target, which is not installed"
  done < <(grep -oE '\]\([^)#:]+(#[^)]*)?\)' "$page" | sed -E 's/^\]\(//; s/[)#].*$//' | grep -v '^$' | sort -u)
done
for size in 16 22 24 32 48 64 128 256; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/varnolt.png
  grep -q "PNG image data, $size x $size, 8-bit/color RGBA" <<<"$(file -b "$png")" \
    || fail "the ${size}px icon: $(file -b "$png")"
done
grep -q "<svg" "$prefix/share/icons/hicolor/scalable/apps/varnolt.svg" || fail "the scalable icon is no SVG"

# --- The validators -----------------------------------------------------------
desktop=$prefix/share/applications/varnolt.desktop
desktop-file-validate "$desktop" | grep -v "hint:" && fail "desktop-file-validate"
grep -qx "Exec=varnolt %f" "$desktop" || fail "the desktop entry does not start varnolt %f"
grep -qx "Icon=varnolt" "$desktop" || fail "the desktop entry names no varnolt icon"
grep -qx "Categories=Science;Biology;Education;" "$desktop" || fail "the desktop entry's categories"
appstreamcli validate --no-net "$metainfo" >"$prefix/appstream.log" 2>&1 || { cat "$prefix/appstream.log"; fail "appstreamcli validate"; }
grep -q "<launchable type=\"desktop-id\">varnolt.desktop</launchable>" "$metainfo" || fail "metainfo names no desktop entry"
grep -q "<project_license>GPL-3.0-or-later</project_license>" "$metainfo" || fail "metainfo licence"
for page in varnolt varnolt-cli; do
  mandoc -T lint "$prefix/share/man/man1/$page.1" || fail "mandoc -T lint $page.1"
done

# --- The installed programs ---------------------------------------------------
version='^VARNOLT 1\.[0-9]+\.[0-9]+( \(commit [0-9a-f]{12}(, modified)?\))?$'
[[ $("$prefix/bin/varnolt-cli" --version) =~ $version ]] || fail "varnolt-cli --version"
[[ $(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/varnolt" --version) =~ $version ]] \
  || fail "varnolt --version"
cmp -s <(cd "$prefix" && bin/varnolt-cli run --seed 1 --set palmCount=1 --output - 2>/dev/null) \
  "$source/tests/data/reports/worked-run-seed1-one-palm.dat" || fail "the installed varnolt-cli's worked run"

# The runner links no window toolkit and draws through its drawing part.
needed=$(readelf -d "$prefix/bin/varnolt-cli" | grep NEEDED)
grep -q "libQt6" <<<"$needed" && fail "varnolt-cli links the window toolkit: $needed"
[[ -s $prefix/lib/varnolt/libvarnolt-drawing.so ]] || fail "lib/varnolt/libvarnolt-drawing.so is missing"
(cd "$prefix" && bin/varnolt-cli run --seed 1 --set cycleCount=60 --set palmCount=20 --output run.dat --plot run.png \
  >/dev/null 2>&1) || fail "the installed varnolt-cli could not draw --plot"
grep -q "PNG image data, 1600 x 900" <<<"$(file -b "$prefix/run.png")" || fail "the installed runner's picture"

# The Python module, when the build has it: it imports from the install with
# the python3 it was built for, and runs.
if [[ -d $build/python/varnolt ]]; then
  python=${VARNOLT_PYTHON:-python3}
  packages=$prefix/lib/python3/dist-packages
  [[ -s $packages/varnolt/__init__.py && -s $packages/varnolt/__init__.pyi ]] || fail "the Python package is not installed"
  line=$(cd "$prefix" && PYTHONPATH=$packages "$python" -c \
    "import varnolt; print(varnolt.run(varnolt.Settings(), seed=1).analysis, varnolt.__file__)" 2>&1)
  [[ $line == *" over cycles 51 to 100. $packages/varnolt/__init__.py" ]] || fail "the installed Python module: $line"
fi

# The runner alone, as on a compute node: it runs, and says why it cannot draw.
alone=$(mktemp -d)
cmake --install "$build" --prefix "$alone" --component runner >/dev/null 2>&1 || fail "installing the runner alone"
[[ ! -e $alone/lib/varnolt ]] || fail "the runner component holds the drawing part"
[[ ! -e $alone/bin/varnolt ]] || fail "the runner component holds the window"
cmp -s <(cd "$alone" && bin/varnolt-cli run --seed 1 --set palmCount=1 --output - 2>/dev/null) \
  "$source/tests/data/reports/worked-run-seed1-one-palm.dat" || fail "the runner alone: the worked run"
plot_err=$(cd "$alone" && bin/varnolt-cli run --seed 1 --set palmCount=1 --output run.dat --plot run.png 2>&1)
plot_status=$?
[[ $plot_status == 1 ]] || fail "the runner alone: --plot exits $plot_status, not 1"
grep -q "cannot draw --plot run.png: this varnolt-cli draws pictures with its drawing part, libvarnolt-drawing.so, which is not installed" \
  <<<"$plot_err" || fail "the runner alone: --plot says: $plot_err"
[[ ! -e $alone/run.dat ]] || fail "the runner alone ran although it could not draw the picture asked for"
rm -rf "$alone"

# --- Man page and completion against `help` -----------------------------------
help=$("$prefix/bin/varnolt-cli" help)
man_text=$(MANWIDTH=200 mandoc -T ascii "$prefix/share/man/man1/varnolt-cli.1" | col -b)
completion=$prefix/share/bash-completion/completions/varnolt-cli
offered() {  # the completions for the words given, the last one being completed
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _varnolt_cli; printf "%s\n" "${COMPREPLY[@]}"' \
    _ "$completion" varnolt-cli "$@"
}

# The commands, under "Commands:" in the help.
commands=$(awk '/^Commands:/ {on = 1; next} on && /^$/ {exit} on && /^  [a-z]/ {print $1}' <<<"$help")
[[ -n $commands ]] || fail "no commands found in help"
for command in $commands; do
  grep -qE "(^|[^a-z-])varnolt-cli $command( |$)" <<<"$man_text" || fail "the man page lacks the command $command"
  grep -qx "$command" <<<"$(offered "")" || fail "the completion lacks the command $command"
done

# Each command's options, as its own help lists them, in the man page and
# offered by the completion after that command.
for command in $commands; do
  command_help=$("$prefix/bin/varnolt-cli" help "$command")
  options=$(grep -oE '^  --?[a-z][a-z0-9-]*(, --[a-z][a-z0-9-]*)?' <<<"$command_help" | grep -oE -- '--?[a-z][a-z0-9-]*')
  [[ -n $options ]] || fail "no options found in the help of $command"
  for option in $options; do
    grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" <<<"$man_text" || fail "the man page lacks the option $option"
    grep -qx -- "$option" <<<"$(offered "$command" "-")" || fail "the completion lacks $option after $command"
  done
done
for option in --help --version; do
  grep -qx -- "$option" <<<"$(offered "-")" || fail "the completion lacks $option"
done

settings=$(awk '/^Settings \(NAME\):/ {on = 1; next} on && !/^  / {exit} on' <<<"$help" | grep -oE '[a-zA-Z]+' | sort -u)
[[ $(wc -w <<<"$settings") -ge 27 ]] || fail "not all 27 settings found in help: $settings"
set_offers=$(offered run --set "")
for name in $settings; do
  grep -qE "(^|[^a-zA-Z])$name([^a-zA-Z]|$)" <<<"$man_text" || fail "the man page lacks the setting $name"
  grep -qx "$name=" <<<"$set_offers" || fail "the completion lacks the setting $name"
done
grep -q "new-defaults.dat" <<<"$(offered show "$source/tests/data/settings/new-def")" || fail "the completion offers no .dat file"

# The window's own options, against its man page.
window_help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/varnolt" --help)
window_man=$(MANWIDTH=200 mandoc -T ascii "$prefix/share/man/man1/varnolt.1" | col -b)
for option in $(grep -oE '(^|[ ,])--?[a-z-]*' <<<"$window_help" | grep -oE -- '--?[a-z-]*' | sort -u); do
  grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" <<<"$window_man" || fail "varnolt.1 lacks the option $option"
done

if ((failures > 0)); then
  echo "$failures failures"
  exit 1
fi
echo "install into a temporary prefix: all checks passed"
