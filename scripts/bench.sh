#!/usr/bin/env bash
# Builds the export benchmark in Release and prints its tables (Markdown).
#   scripts/bench.sh                   workloads R, S and L against the floor and the
#                                      straightforward writer, then the scaling rows
#   scripts/bench.sh --quick           small sizes: a smoke run in seconds
#   scripts/bench.sh --profile R|S     only the session's export, to run under a profiler
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh base
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKW_BUILD_TESTS=OFF \
  -DKW_WITH_PLUGIN=OFF >/dev/null
cmake --build build/bench -j2 --target kw_bench
exec build/bench/bench/kw_bench "$@"
