#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in their own build directory and
# runs each for a bounded time, starting from the committed seed corpus.
#   scripts/fuzz.sh [SECONDS_PER_TARGET [TARGET...]]     (default 60)
# The default targets are the scene-file reader, whole exports of built
# scenes, the SMD reader and model files through the command line's child
# process; model_import_fuzzer (model files through assimp in-process) runs
# when named.
# A finding stops the run with a non-zero status; the input that caused it is
# left in build/fuzz/findings/. At the end each target's executions and
# coverage (libFuzzer's cov and ft) are printed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
build=${KW_FUZZ_BUILD_DIR:-build/fuzz}
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(scene_file_fuzzer scene_export_fuzzer smd_reader_fuzzer
                                     model_isolation_fuzzer)

scripts/install-deps.sh tests

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++-14 -DKW_FUZZ=ON -DKW_BUILD_TESTS=OFF -DKW_WITH_PLUGIN=OFF \
  -DKW_WITH_ASSIMP=ON >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build/findings"
summary=()
for target in "${targets[@]}"; do
  # New inputs go to a scratch corpus; the committed seeds stay as they are.
  work="$build/corpus/$target"
  mkdir -p "$work"
  options=()
  [ -f "fuzz/${target%_fuzzer}.dict" ] && options+=(-dict="fuzz/${target%_fuzzer}.dict")
  # assimp's own readers leak a little (its BVH reader) and loop for ever on
  # some damaged files, which the command line stops at its import deadline:
  # neither is ours to mend, so leaks go unchecked and timeouts are counted
  # (in fork mode) rather than stopping the run.
  if [ "$target" = model_import_fuzzer ]; then
    options+=(-detect_leaks=0 -fork=1 -ignore_timeouts=1)
  fi
  # The isolation's seeds are the model importer's; its children stop a
  # looping parser themselves.
  corpus="fuzz/corpus/${target%_fuzzer}"
  [ "$target" = model_isolation_fuzzer ] && corpus=fuzz/corpus/model_import
  log="$build/$target.log"
  echo "== $target: ${seconds}s" >&2
  status=0
  "$build/fuzz/$target" "$work" "$corpus" "${options[@]}" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
    -print_final_stats=1 -artifact_prefix="$build/findings/$target-" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  [ -z "$runs" ] && runs=$(sed -n 's/^#\([0-9]*\): cov:.*/\1/p' "$log" | tail -1)
  coverage=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1 || true)
  summary+=("$target: ${runs:-?} runs, ${coverage:-no coverage line}")
  if [ "$status" -ne 0 ]; then
    tail -60 "$log" >&2
    echo "$target found a fault (exit $status); input in $build/findings/" >&2
    exit 1
  fi
done
printf '%s\n' "${summary[@]}"
