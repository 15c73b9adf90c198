#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds every preset and runs every test: unit and end-to-end
# tests natively, again under AddressSanitizer and UndefinedBehaviorSanitizer, the 64-bit Windows
# build end to end under wine64 and the shipped 32-bit one under wine32 (beside the others, since
# its process starts are slow), then fuzzes each libFuzzer target for a bounded time
# (scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ccache.sh

bash scripts/deps.sh
# Without wine32 (the archive's i386 index out of step, say) its tests are skipped, saying why.
bash scripts/wine32.sh || true
# The Windows engine's libraries: built once per recipe, then taken from the cache at once.
bash scripts/windows-deps.sh x86_64
bash scripts/windows-deps.sh i686
bash scripts/windows-cld2.sh x86_64
bash scripts/windows-cld2.sh i686

for preset in native native-asan windows-x64 windows-x86; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

# The 32-bit pair under wine32 mostly waits for its process starts, so it runs beside the rest.
wine32_log=$(mktemp)
ctest --preset windows-x86 -j2 --output-on-failure >"$wine32_log" 2>&1 &
wine32_pid=$!

for preset in native native-asan windows-x64; do
  echo "== test $preset"
  ctest --preset "$preset" -j2
done

echo "== test windows-x86"
wine32_status=0
wait "$wine32_pid" || wine32_status=$?
cat "$wine32_log"
# A skipped wine32 test says why in its output, which ctest keeps in its log.
grep -h '^skipped: ' build/windows-x86/Testing/Temporary/LastTest.log 2>/dev/null || true
rm -f "$wine32_log"
[[ $wine32_status -eq 0 ]] || exit "$wine32_status"

echo "== fuzz"
bash scripts/fuzz.sh
