#!/usr/bin/env bash
# An independent SMD reader (assimp) must see in our sample's SMDs what the
# sample holds: 7 nodes (assimp adds a root of its own to a reference file),
# 6 of them bones, meshes of 44 and 12 faces with two textures, and a 31-pose
# animation over 7 nodes.
set -euo pipefail
tool=$1
sample=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

"$tool" export "$sample" -o figure.smd
"$tool" export "$sample" -o figure_walk.smd --sequence

fail=0
expect() {  # file, pattern
  if ! grep -Eq "$2" "$1"; then
    echo "assimp's view of ${1%.txt} lacks: $2" >&2
    fail=1
  fi
}

assimp info figure.smd >reference.txt 2>&1
expect reference.txt '^Nodes: +8$'
expect reference.txt '^Faces: +56$'
expect reference.txt '^Bones: +6$'
expect reference.txt '\[[0-9]+ / [0-9]+ / 44 \| triangle\]'
expect reference.txt '\[[0-9]+ / [0-9]+ / 12 \| triangle\]'
expect reference.txt "'figure_body.tga'"
expect reference.txt "'figure_head.tga'"

assimp info figure_walk.smd >sequence.txt 2>&1
expect sequence.txt '^Nodes: +7$'
expect sequence.txt '^Animations: +1$'
expect sequence.txt '^Animation Channels: +7$'
[ "$(grep -c '^time ' figure_walk.smd)" -eq 31 ] || { echo "expected 31 poses" >&2; fail=1; }

[ $fail -eq 0 ] || { cat reference.txt sequence.txt | grep -v '%$' >&2; exit 1; }
echo "assimp reads the sample's reference and sequence SMDs as expected"
