#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and UndefinedBehaviorSanitizer,
# replays the inputs that once failed (tests/fuzz/regressions/TARGET/), then fuzzes each target
# for a bounded time from its seeds (tests/fuzz/corpus/TARGET/). Fails on any crash, leak, hang,
# sanitizer report or broken invariant; the failing input is kept in build/fuzz/findings/.
# FUZZ_SECONDS sets the time per target (default 20).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-20}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

bin=build/fuzz/tests/fuzz/bin
findings=build/fuzz/findings
work=$(mktemp -d /tmp/quirecast-fuzz-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$findings"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=()
for seeds in tests/fuzz/corpus/*/; do
  target=$(basename "$seeds")
  program="$bin/fuzz_$target"
  if [[ ! -x $program ]]; then
    echo "== fuzz_$target: not built (the engine's targets need poppler)"
    failed+=("$target")
    continue
  fi
  regressions=(tests/fuzz/regressions/"$target"/*)
  if [[ -e ${regressions[0]} ]]; then
    echo "== fuzz_$target: ${#regressions[@]} regression inputs"
    "$program" -runs=1 "${regressions[@]}" >"$work/$target.replay.log" 2>&1 ||
      { tail -n 30 "$work/$target.replay.log"; failed+=("$target (regression)"); continue; }
  fi
  echo "== fuzz_$target: ${seconds} s"
  # New inputs go to a scratch corpus; the committed seeds are only read.
  mkdir -p "$work/$target"
  if ! "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$findings/$target-" "$work/$target" "$seeds" >"$work/$target.log" 2>&1; then
    tail -n 40 "$work/$target.log"
    failed+=("$target")
  else
    grep -E '^stat::number_of_executed_units' "$work/$target.log" || true
  fi
done

if ((${#failed[@]})); then
  echo "fuzzing found problems in: ${failed[*]} (inputs in $findings/)"
  exit 1
fi
echo "fuzzing found nothing"
