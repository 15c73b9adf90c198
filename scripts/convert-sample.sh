#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds the Linux programs and converts the bundled sample PDF
# with the front end into out/.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ccache.sh

bash scripts/deps.sh
cmake --preset native >/dev/null
cmake --build --preset native

build/native/bin/quirecast build/native/samples/sample.pdf out
echo "Open out/sample/sample.html in a browser."
