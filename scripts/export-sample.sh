#!/usr/bin/env bash
# Builds the command-line tool and exports the bundled sample scene to a
# reference SMD and a sequence SMD in out/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh base
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKW_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --target kestrelworks -j2

mkdir -p out
tool=build/release/cli/kestrelworks
"$tool" export samples/figure.json -o out/figure_reference.smd
"$tool" export samples/figure.json -o out/figure_walk.smd --sequence
echo "Wrote out/figure_reference.smd and out/figure_walk.smd"
