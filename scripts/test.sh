#!/usr/bin/env bash
# Builds everything and runs every test.
#   scripts/test.sh             the test suite, the plug-in's tests under Wine included
#   scripts/test.sh --sanitize  the same suite under AddressSanitizer + UBSan
#   scripts/test.sh --threads   under ThreadSanitizer: exports side by side, whole
#                               exports whose big meshes and long sequences use the
#                               writers' second thread, the scene reader's and the
#                               normals' second threads
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=OFF
build=build/test
if [ "${1:-}" = "--sanitize" ]; then
  sanitize=ON
  build=build/sanitize
fi

scripts/install-deps.sh tests
if [ "${1:-}" = "--threads" ]; then
  build=build/threads
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKW_SANITIZE_THREADS=ON \
    -DKW_WITH_PLUGIN=OFF >/dev/null
  cmake --build "$build" -j2 --target kw_threads_tests kw_scene_tests
  export TSAN_OPTIONS=halt_on_error=1
  "$build/tests/kw_threads_tests"
  # The in-memory scene's normals of a big mesh, on two threads.
  exec "$build/tests/kw_scene_tests" --gtest_filter='ComputeNormals.ABigMesh*'

fi
# Without the Wine run's 32-bit packages the plug-in is still cross-built and
# every other test runs; the Wine test is then reported as skipped.
wine_unavailable=
if [ "$sanitize" = OFF ]; then
  plugin_status=0
  plugin_log=$(mktemp)
  scripts/install-deps.sh plugin 2>"$plugin_log" || plugin_status=$?
  cat "$plugin_log" >&2
  if [ "$plugin_status" -eq 75 ]; then
    wine_unavailable=$(tail -n 1 "$plugin_log")
  elif [ "$plugin_status" -ne 0 ]; then
    rm -f "$plugin_log"
    exit "$plugin_status"
  fi
  rm -f "$plugin_log"
fi

# A locale whose decimal separator is ",", to prove numbers never follow it.
if [ "$(id -u)" -eq 0 ] && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf8$'; then
  localedef -i de_DE -f UTF-8 de_DE.UTF-8 || true
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKW_SANITIZE="$sanitize" \
  -DKW_WINE_UNAVAILABLE="$wine_unavailable" >/dev/null
cmake --build "$build" -j2
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
ctest --test-dir "$build" --output-on-failure -j2 || status=$?
if [ -n "$wine_unavailable" ]; then
  echo "plug-in test under Wine: SKIPPED: $wine_unavailable"
fi
exit "$status"
