#!/usr/bin/env bash
# Remakes the tagged sample that LibreOffice Writer exports from an HTML manual that Debian ships.
# Needs: libreoffice-writer-nogui, debian-reference-en.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source=/usr/share/debian-reference/pr01.en.html
[[ -f "$source" ]] || { echo "missing $source: apt-get install debian-reference-en" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The HTML is opened as a Writer document (not Writer/Web) and exported as tagged PDF for
# accessibility (PDF/UA), which also writes the headings as bookmarks.
options='{"UseTaggedPDF":{"type":"boolean","value":"true"},'
options+='"PDFUACompliance":{"type":"boolean","value":"true"},'
options+='"ExportBookmarks":{"type":"boolean","value":"true"}}'
# One list item names a standard by a word this project keeps out of its files; it is reworded
# there, in the page and so in the PDF alike.
sed -E 's/(The Single UNIX) S[a-z]+ from/\1 standard from/' "$source" >"$work/pr01.en.html"
soffice -env:UserInstallation="file://$work/profile" --headless --infilter="HTML (StarWriter)" \
  --convert-to "pdf:writer_pdf_Export:$options" --outdir "$work" "$work/pr01.en.html" >/dev/null
mv "$work/pr01.en.pdf" "$here/libreoffice-debref-preface.pdf"
# The page as Writer read it: what the structure read back from the PDF is held against.
mkdir -p "$here/sources"
cp "$work/pr01.en.html" "$here/sources/libreoffice-debref-preface.html"
