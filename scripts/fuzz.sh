#!/usr/bin/env bash
# Runs each fuzz target of a fuzz build for a bounded time, starting from its
# seed corpus (fuzz/corpus/<target>) when there is one. FUZZ_SECONDS sets the
# time per target (default 30; a target may ask for more in fuzz/budget).
set -euo pipefail
build=${1:-build/fuzz}
root=$(cd "$(dirname "$0")/.." && pwd)
default=${FUZZ_SECONDS:-30}
status=0
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
for exe in "$build"/fuzz/fuzz-*; do
  [ -x "$exe" ] || continue
  name=$(basename "$exe")
  seconds=$default
  if [ -f "$root/fuzz/budget" ]; then
    wanted=$(awk -v n="$name" '$1 == n { print $2 }' "$root/fuzz/budget")
    [ -n "$wanted" ] && seconds=$wanted
  fi
  work=$(mktemp -d)
  if [ -d "$root/fuzz/corpus/$name" ]; then cp -r "$root/fuzz/corpus/$name/." "$work/"; fi
  echo "fuzz: $name for ${seconds}s"
  mkdir -p "$work.artifacts"
  if ! "$exe" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$work.artifacts/" "$work" >"$work.log" 2>&1; then
    echo "fuzz: $name FAILED"; tail -n 60 "$work.log"; status=1
    mkdir -p "$root/build/fuzz-failures" && cp -r "$work.artifacts/." "$root/build/fuzz-failures/"
  else
    grep -E "stat::number_of_executed_units|Done [0-9]+ runs" "$work.log" | tail -n 2 || true
  fi
  rm -rf "$work" "$work.log" "$work.artifacts"
done
exit $status
