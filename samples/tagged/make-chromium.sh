#!/usr/bin/env bash
# Remakes the tagged samples that Debian's Chromium prints from HTML manuals that Debian ships.
# Needs: chromium, nodejs with npm, developers-reference, debian-reference-fr.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
tools="$here/../../tests/semantics"
[[ -d "$tools/node_modules/playwright-core" ]] || npm ci --prefix "$tools" --no-audit --no-fund

for source in /usr/share/developers-reference/l10n.html /usr/share/debian-reference/ch04.fr.html; do
  [[ -f "$source" ]] || { echo "missing $source: apt-get install developers-reference debian-reference-fr" >&2; exit 1; }
done

mkdir -p "$here/sources"
# The whole page: three pages in English with heads of three levels, a list and links.
node "$here/print-tagged.js" /usr/share/developers-reference/l10n.html \
  "$here/chromium-devref-l10n.pdf" --save-html "$here/sources/chromium-devref-l10n.html"
# Two sections of a French chapter: tables with header cells, both kinds of list, icons with alt
# text. The DocBook XHTML states no language, so it is stated here.
node "$here/print-tagged.js" /usr/share/debian-reference/ch04.fr.html \
  "$here/chromium-debref-auth-fr.pdf" --sections 1,6 --lang fr \
  --save-html "$here/sources/chromium-debref-auth-fr.html"
