#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds every preset and runs every test: unit and end-to-end
# tests natively, again under AddressSanitizer and UndefinedBehaviorSanitizer, and the Windows
# build end to end under wine64, then fuzzes each libFuzzer target for a bounded time
# (scripts/fuzz.sh). The 32-bit Windows build is built but cannot run here.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
# The Windows engine's libraries: built once per recipe, then taken from the cache at once.
bash scripts/windows-deps.sh x86_64
bash scripts/windows-deps.sh i686

for preset in native native-asan windows-x64 windows-x86; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

for preset in native native-asan windows-x64; do
  echo "== test $preset"
  ctest --preset "$preset" -j2
done

echo "== fuzz"
bash scripts/fuzz.sh
