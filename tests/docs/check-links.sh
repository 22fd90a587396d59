#!/usr/bin/env bash
# Checks the documentation's links and its citation data: every relative link of
# README.md, CHANGELOG.md and docs/*.md names a file that exists, and a heading
# that exists when it names one (#anchor, as GitHub makes them: lower case,
# punctuation dropped, spaces as hyphens); CITATION.cff carries the fields CFF 1.2
# requires and the project's version; no guide is over 600 lines.
# Usage: check-links.sh SOURCE_DIR VERSION
set -uo pipefail
source=$(cd "$1" && pwd) version=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

anchors() {  # the anchors of a Markdown page's headings, outside code blocks
  awk '/^ *```/ {code = !code; next}
       !code && /^#+ / {
         h = $0; sub(/^#+ /, "", h); h = tolower(h)
         gsub(/[^a-z0-9 _-]/, "", h); gsub(/ /, "-", h); print h
       }' "$1"
}

pages=("$source"/README.md "$source"/CHANGELOG.md "$source"/docs/*.md)
for page in "${pages[@]}"; do
  name=${page#"$source"/}
  # Links outside code spans and code blocks: ](target) with no scheme.
  while read -r link; do
    target=${link%%#*} anchor=""
    [[ $link == *"#"* ]] && anchor=${link#*#}
    file=$page
    if [[ -n $target ]]; then
      file=$(dirname "$page")/$target
      [[ -e $file ]] || { fail "$name links $link: no such file"; continue; }
    fi
    if [[ -n $anchor && $file == *.md ]]; then
      grep -qxF -- "$anchor" <<<"$(anchors "$file")" || fail "$name links $link: no such heading"
    fi
  done < <(awk '/^ *```/ {code = !code; next} !code' "$page" | sed 's/`[^`]*`//g' \
             | grep -oE '\]\([^) :]+\)' | sed -E 's/^\]\(//; s/\)$//' | sort -u)
done

# A guide a reader can take in: none over 600 lines (split it by what it is for).
for page in "$source"/docs/*.md; do
  lines=$(wc -l <"$page")
  ((lines <= 600)) || fail "docs/${page##*/} has $lines lines; split it (no guide over 600)"
done

cff=$source/CITATION.cff
for key in cff-version message title authors version license; do
  grep -qE "^$key:" "$cff" || fail "CITATION.cff has no $key"
done
grep -qx 'cff-version: 1.2.0' "$cff" || fail "CITATION.cff is not CFF 1.2.0"
grep -qx "version: $version" "$cff" || fail "CITATION.cff's version is not the project's $version"
grep -qx 'license: GPL-3.0-or-later' "$cff" || fail "CITATION.cff's licence"
grep -q "version $version" "$source/README.md" || fail "README.md's citation does not name version $version"
grep -qE "^## \[$version\]" "$source/CHANGELOG.md" || fail "CHANGELOG.md has no section for $version"

if ((failures > 0)); then
  echo "$failures failures"
  exit 1
fi
echo "links and citation: all checks passed"
