#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Usage: scripts/install-deps.sh [base|tests|plugin|format|all]   (default: base)
# As root it runs apt-get; otherwise it prints the one apt-get line to run.
#
# A package index that cannot be fetched (a mirror in the middle of a sync)
# does not stop the install: the lists that did come down are used, and each
# package that still cannot be installed is named with apt's reason.
# Exit status: 0 all installed; 1 a package is missing; 75 only the packages
# of the plug-in's run under Wine (WINE_RUN below) are missing, and the last
# line on stderr says why (scripts/test.sh then skips that one test).
set -euo pipefail

what=${1:-base}

# cairo draws the previews; their labels are set in DejaVu Sans.
base=(cmake ninja-build g++ pkg-config nlohmann-json3-dev libcli11-dev libassimp-dev libqhull-dev
      libcairo2-dev fonts-dejavu-core)
tests=(googletest libgtest-dev libbenchmark-dev locales assimp-utils assimp-testmodels python3-jsonschema
       clang-14 libclang-rt-14-dev)
# wine32 needs the i386 architecture; Wine's own fonts (fonts-wine) draw the
# window frames and DejaVu Sans stands in for the dialog's Verdana.
plugin=(g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386 fonts-wine libxrender1:i386
        fonts-dejavu-core xvfb xauth imagemagick)
# Needed only to run the plug-in under Wine, not to build it.
WINE_RUN=(wine32:i386 libxrender1:i386)

format=(clang-format-14)

case "$what" in
  base) groups=(base) ;;
  tests) groups=(base tests) ;;
  plugin) groups=(plugin) ;;
  format) groups=(format) ;;
  all) groups=(base tests plugin format) ;;
  *) echo "usage: $0 [base|tests|plugin|format|all]" >&2; exit 2 ;;
esac

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
declare -A group_of=()
for group in "${groups[@]}"; do
  declare -n list=$group
  for package in "${list[@]}"; do
    if ! installed "$package" && [ -z "${group_of[$package]:-}" ]; then
      missing+=("$package")
      group_of[$package]=$group
    fi
  done
  unset -n list
done

[ ${#missing[@]} -eq 0 ] && exit 0

needs_i386=no
for package in "${missing[@]}"; do
  case "$package" in *:i386) needs_i386=yes ;; esac
done

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages. Run as root:" >&2
  [ "$needs_i386" = yes ] && echo "  dpkg --add-architecture i386 &&" >&2
  echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
if [ "$needs_i386" = yes ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
echo "Installing: ${missing[*]}" >&2

update_log=$(mktemp)
trap 'rm -f "$update_log"' EXIT
if ! apt-get update -qq >"$update_log" 2>&1; then
  echo "install-deps: apt-get update failed; trying once more" >&2
  if ! apt-get update -qq >"$update_log" 2>&1; then
    echo "install-deps: some package indexes could not be fetched; going on with those that came down:" >&2
    grep -E '^(E|W): Failed to fetch' "$update_log" | sed 's/^/  /' >&2 || true
  fi
fi

# One apt-get for all of them; only when that fails is each package tried on
# its own, so that the one that cannot be had is named.
if apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null 2>&1; then
  exit 0
fi

failed=()
for package in "${missing[@]}"; do
  installed "$package" && continue
  if ! output=$(apt-get install -y --no-install-recommends "$package" 2>&1); then
    # apt's first unmet dependency says more than its closing error line.
    reason=$(printf '%s\n' "$output" | grep -m 1 ' Depends: ' | sed -E 's/^ +//; s/ +/ /g; s/^/unmet dependency: /')
    [ -n "$reason" ] || reason=$(printf '%s\n' "$output" | grep -m 1 -E '^E: ' | sed 's/^E: //')
    echo "install-deps: cannot install $package (${group_of[$package]} packages): ${reason:-apt-get failed}" >&2
    failed+=("$package")
  fi
done
[ ${#failed[@]} -eq 0 ] && exit 0

for package in "${failed[@]}"; do
  case " ${WINE_RUN[*]} " in
    *" $package "*) ;;
    *) exit 1 ;;
  esac
done
why="${failed[*]} could not be installed"
if grep -q 'Failed to fetch .*binary-i386' "$update_log"; then
  why="$why (the i386 package index could not be fetched)"
fi
echo "$why" >&2
exit 75
