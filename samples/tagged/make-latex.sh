#!/usr/bin/env bash
# Remakes the tagged sample that LuaLaTeX typesets from a LaTeX guide that Debian ships.
# Needs: texlive-luatex, texlive-latex-extra (tagpdf, enumitem, xpatch), texlive-latex-base-doc.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source=/usr/share/doc/texlive-doc/latex/base/modguide.tex.gz
[[ -f "$source" ]] || { echo "missing $source: apt-get install texlive-latex-base-doc" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# LaTeX's tagging in this TeX Live tags paragraphs only; sample-tagging.sty adds the section
# heads and lists. The guide is typeset as it is, with these lines put before and after
# \documentclass.
zcat "$source" | sed -e 's/^\\NeedsTeXFormat.*//' \
  -e 's/^\\documentclass{ltxguide}.*/\\DocumentMetadata{testphase=phase-II,lang=en-GB}\n&\n\\usepackage{sample-tagging}/' \
  > "$work/modguide.tex"
grep -q '^\\DocumentMetadata' "$work/modguide.tex" || { echo "modguide.tex changed: no \\documentclass{ltxguide}" >&2; exit 1; }
cp "$here/latex/sample-tagging.sty" "$work/"
# Twice, for the table of contents.
for run in 1 2; do
  (cd "$work" && lualatex -interaction=nonstopmode -halt-on-error modguide.tex >/dev/null) ||
    { tail -40 "$work/modguide.log" >&2; exit 1; }
done
mv "$work/modguide.pdf" "$here/latex-modguide.pdf"
