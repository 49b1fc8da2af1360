#!/usr/bin/env bash
# Times the export of a 50,000-triangle skinned, animated glTF model against
# assimp's own import of the same file. Needs hyperfine (apt-get install
# hyperfine) and a Release build:
#   tests/readers/model_import/measure_model_import.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/tests/kw_make_skinned_tube" "$work/tube.glb" 50000 20 2
tool="$build/cli/kestrelworks"
read="$build/tests/kw_read_with_assimp"

hyperfine --warmup 3 --min-runs 20 --export-markdown "$work/times.md" \
  -n "assimp import (raw)" "$read $work/tube.glb raw" \
  -n "assimp import (our post-processing)" "$read $work/tube.glb ours" \
  -n "kestrelworks export (reference)" "$tool export $work/tube.glb -o $work/tube.smd" \
  -n "kestrelworks export (sequence)" "$tool export $work/tube.glb -o $work/sway.smd --sequence"
cat "$work/times.md"
