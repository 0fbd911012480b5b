#!/usr/bin/env bash
# Runs the learning-filter benchmark against bogofilter on the SpamAssassin public corpus:
# fetches the corpus into its cache folder (bench/fetch_corpus.sh), builds bench_learning in a
# Release folder, and runs it. Extra arguments go to the benchmark (--repeat N, --memory-kb KB,
# --seed S).
#
#   bash bench/bench_learning_vs_bogofilter.sh [--repeat 5]
#
# BUILD_DIR chooses the build folder (default build/release).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build/release}"

command -v bogofilter >/dev/null || { echo "bogofilter is needed (scripts/setup.sh installs it)" >&2; exit 1; }
corpus="$(bash "$root/bench/fetch_corpus.sh" | tail -n 1)"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target bench_learning -j 2 >/dev/null
"$build/bench/bench_learning" --corpus "$corpus" "$@"
