#!/usr/bin/env bash
# Fails when a source folder includes a header of a folder it may not use:
# arrows only point down, and <windows.h> and assimp stay in the folders
# that adapt them.
#   check_layers.sh SOURCE_DIR
set -euo pipefail
cd "$1"

# folder: the folders it may include besides itself
allowed() {
  case "$1" in
    geometry | diagnostics) echo "" ;;
    scene) echo "geometry" ;;
    smd) echo "geometry diagnostics" ;;
    collision) echo "geometry diagnostics smd" ;;
    export) echo "geometry diagnostics scene smd" ;;
    readers/scene_file) echo "geometry diagnostics scene" ;;
    readers/model_import) echo "geometry diagnostics scene" ;;
    preview) echo "geometry diagnostics smd" ;;
    cli) echo "geometry diagnostics scene smd collision export readers/scene_file readers/model_import preview" ;;
    plugin/*) echo "geometry diagnostics scene smd export plugin/shell plugin/host_stub" ;;
  esac
}

status=0
for folder in geometry diagnostics scene smd collision export readers/scene_file readers/model_import \
              preview cli plugin/shell plugin/host_stub; do
  permitted=" $folder $(allowed "$folder") "
  while IFS= read -r line; do
    file=${line%%:*}
    header=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"$line")
    case "$header" in */*) ;; *) continue ;; esac
    top=${header%%/*}
    [ "$top" = readers ] || [ "$top" = plugin ] && top=$(cut -d/ -f1-2 <<<"$header")
    case "$permitted" in
      *" $top "*) ;;
      *) echo "$file includes $header: $folder may not use $top" >&2; status=1 ;;
    esac
  done < <(grep -H '#include "' "$folder"/*.h "$folder"/*.cpp 2>/dev/null || true)
  case "$folder" in
    plugin/* | readers/model_import) ;;
    *)
      if grep -lE '#include <(windows\.h|assimp/)' "$folder"/*.h "$folder"/*.cpp 2>/dev/null; then
        echo "$folder includes <windows.h> or assimp" >&2
        status=1
      fi
      ;;
  esac
done
exit "$status"
