#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang, AddressSanitizer and UBSan, and runs every
# target once over its seed corpus (fuzz/corpus/<target>/) and the inputs that once made it fail
# (fuzz/regressions/<target>/). Takes seconds once built; a parser change that breaks on a known
# input fails here. Long fuzzing runs are described in the README ("Working on it").
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

clean=0
failed=()
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for binary in "$build"/fuzz/fuzz_*; do
  [ -x "$binary" ] || continue
  name=${binary##*/fuzz_}
  inputs=()
  for folder in "fuzz/corpus/$name" "fuzz/regressions/$name"; do
    if [ -d "$folder" ]; then inputs+=("$folder"); fi
  done
  if [ ${#inputs[@]} -eq 0 ]; then
    echo "fuzz replay: $name has neither seeds nor regressions" >&2
    failed+=("$name")
    continue
  fi
  # -runs=0: every input once, no mutation.
  if "$binary" -runs=0 "${inputs[@]}" >"$log" 2>&1; then
    clean=$((clean + 1))
    echo "fuzz replay: $name clean ($(grep -m1 -o 'INITED cov: [0-9]*' "$log" || echo 'no inputs'))"
  else
    failed+=("$name")
    echo "fuzz replay: $name FAILED" >&2
    tail -n 40 "$log" >&2
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz replay: failing targets: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz replay: all $clean targets clean"
