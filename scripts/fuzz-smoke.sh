#!/usr/bin/env bash
# Builds the libFuzzer harnesses in fuzz/ with clang in a folder of their own and runs each one
# briefly from its seeds (fuzz/seeds/<Name>/). Used by the test suite as a smoke run; exits 77
# (reported as skipped) when clang++ is not installed.
#   scripts/fuzz-smoke.sh [BUILD_FOLDER] [SECONDS_PER_HARNESS]
set -euo pipefail

source_dir="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${1:-$source_dir/build-fuzz}"
seconds="${2:-10}"

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz-smoke: clang++ is not installed; skipped"
  exit 77
fi

cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DDUOLO_BUILD_FUZZERS=ON \
  -DDUOLO_BUILD_GUI=OFF -DDUOLO_BUILD_TESTS=OFF -DDUOLO_BUILD_BENCH=OFF >/dev/null
nice cmake --build "$build_dir" --target duolo_fuzzers

status=0
for source in "$source_dir"/fuzz/*Fuzz.cpp; do
  name="$(basename "$source" .cpp)"
  corpus="$(mktemp -d)"
  seeds=()
  if [ -d "$source_dir/fuzz/seeds/$name" ]; then seeds+=("$source_dir/fuzz/seeds/$name"); fi
  echo "fuzz-smoke: $name for ${seconds}s"
  if ! "$build_dir/fuzz/$name" -seed=1 -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=20 \
        -print_final_stats=1 -artifact_prefix="$build_dir/fuzz/$name-" \
        "$corpus" "${seeds[@]}" 2>&1 | tail -n 40; then
    status=1
  fi
  rm -rf "$corpus"
done
exit $status
