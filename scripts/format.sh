#!/usr/bin/env bash
# Formats our C++ sources as .clang-format says.
#   scripts/format.sh          rewrites the files in place
#   scripts/format.sh --check  changes nothing; fails naming each file that is off
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh format
# One version of the formatter for everyone: another version lays lines out differently.
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
  clang-format-14 --dry-run --Werror "${files[@]}"
else
  clang-format-14 -i "${files[@]}"
fi
