#!/usr/bin/env bash
# Builds the `fuzz` preset and runs every fuzz target for a bounded time from
# a scratch copy of its seed corpus and past crashers (the committed corpus is
# never grown here), with its dictionary. Any crash, leak, sanitizer report,
# input slower than a second or allocation beyond what a picture needs makes
# the script exit nonzero. Prints executions and coverage per target.
#
#   scripts/fuzz.sh [seconds per target]     (default: $FUZZ_SECONDS or 60)
#
# Logs and crash inputs stay in build/fuzz/fuzz-run/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-${FUZZ_SECONDS:-60}}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: scripts/fuzz.sh [seconds per target]" >&2
  exit 2
fi

cmake --preset fuzz >/dev/null
# Only the fuzzers: the rest of the tree is built and tested by the other presets.
cmake --build --preset fuzz --target fuzzers

bin=build/fuzz/bin
run=build/fuzz/fuzz-run
rm -rf "$run"
mkdir -p "$run"

# Leaks are faults; a smaller quarantine keeps the resident size meaningful.
export ASAN_OPTIONS="detect_leaks=1:quarantine_size_mb=64:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"

targets=()
for src in fuzz/*_fuzzer.cpp; do
  name=$(basename "$src" _fuzzer.cpp)
  targets+=("$name")
done

failed=()
summary=()
for t in "${targets[@]}"; do
  dir="$run/$t"
  mkdir -p "$dir/corpus" "$dir/artifacts"
  for seeds in "fuzz/corpus/$t" "fuzz/regressions/$t"; do
    if [ -d "$seeds" ]; then
      find "$seeds" -maxdepth 1 -type f ! -name '.*' -exec cp {} "$dir/corpus/" \;
    fi
  done
  args=(-max_total_time="$seconds" -timeout=1 -rss_limit_mb=1024 -malloc_limit_mb=64
        -print_final_stats=1 -artifact_prefix="$dir/artifacts/")
  if [ -f "fuzz/dict/$t.dict" ]; then
    args+=(-dict="fuzz/dict/$t.dict")
  fi

  echo "== fuzz $t (${seconds}s)"
  status=0
  if [ ! -x "$bin/${t}_fuzzer" ]; then
    echo "missing $bin/${t}_fuzzer" >"$dir/log"
    status=127
  else
    "$bin/${t}_fuzzer" "${args[@]}" "$dir/corpus" >"$dir/log" 2>&1 || status=$?
  fi

  if [ "$status" -ne 0 ] ||
     grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|invariant failed' "$dir/log" ||
     [ -n "$(ls -A "$dir/artifacts")" ]; then
    failed+=("$t")
    echo "-- $t FAILED (exit $status); log: $dir/log"
    grep -E -A12 'ERROR:|runtime error:|invariant failed|missing ' "$dir/log" | head -40 || true
    ls "$dir/artifacts" 2>/dev/null | sed 's/^/   artifact: /' || true
  fi

  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -1)
  last=$(grep -E '^#[0-9]+' "$dir/log" | grep -E 'cov: ' | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corpus=$(sed -n 's/.* corp: \([0-9/a-zA-Z]*\).*/\1/p' <<<"$last")
  summary+=("$(printf '%-16s %12s %8s %8s %12s %s' "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" \
               "${corpus:-?}" "$([ "$status" -eq 0 ] && echo ok || echo "FAILED")")")
done

echo
printf '%-16s %12s %8s %8s %12s %s\n' target executions cov ft corpus result
printf '%s\n' "${summary[@]}"

echo "fuzzing (${seconds}s a target):"
echo "fuzz: $(( ${#targets[@]} - ${#failed[@]} )) passed, ${#failed[@]} failed"
if [ "${#failed[@]}" -ne 0 ]; then
  echo "fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
