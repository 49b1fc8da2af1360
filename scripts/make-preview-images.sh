#!/usr/bin/env bash
# Draws the sample figure's previews: docs/figure-preview.png (the reference,
# shown in the README), docs/figure-walk-preview.png (skinned by its walk) and
# the golden picture tests/preview/golden/figure_walk.png, which the preview
# tests compare with. Run it after a deliberate change to the pictures, look at
# them, and commit them with that change.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh base
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKW_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --target kestrelworks -j2

tool=build/release/cli/kestrelworks
smd=$(mktemp -d)
trap 'rm -rf "$smd"' EXIT
"$tool" export samples/figure.json -o "$smd/figure_reference.smd"
"$tool" export samples/figure.json -o "$smd/figure_walk.smd" --sequence
# The tests draw the committed golden SMDs; the export must still give them.
cmp "$smd/figure_reference.smd" tests/export/golden/figure_reference.smd
cmp "$smd/figure_walk.smd" tests/export/golden/figure_walk.smd

"$tool" preview "$smd/figure_reference.smd" -o docs/figure-preview.png
# The frames the golden test asks for: first, middle and last of the walk.
"$tool" preview "$smd/figure_reference.smd" --sequence "$smd/figure_walk.smd" --frames 0,15,30 \
  -o docs/figure-walk-preview.png
cp docs/figure-walk-preview.png tests/preview/golden/figure_walk.png
echo "Wrote docs/figure-preview.png, docs/figure-walk-preview.png and tests/preview/golden/figure_walk.png"
