#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Usage: scripts/install-deps.sh [base|tests|plugin|format|all]   (default: base)
# As root it runs apt-get; otherwise it prints the one apt-get line to run.
set -euo pipefail

what=${1:-base}

# cairo draws the previews; their labels are set in DejaVu Sans.
base=(cmake ninja-build g++ pkg-config nlohmann-json3-dev libcli11-dev libassimp-dev
      libcairo2-dev fonts-dejavu-core)
tests=(googletest libgtest-dev libbenchmark-dev locales assimp-utils assimp-testmodels python3-jsonschema
       clang-14 libclang-rt-14-dev)
# wine32 needs the i386 architecture; Wine's own fonts (fonts-wine) draw the
# window frames and DejaVu Sans stands in for the dialog's Verdana.
plugin=(g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386 fonts-wine libxrender1:i386
        fonts-dejavu-core xvfb xauth imagemagick)

format=(clang-format-14)

case "$what" in
  base) wanted=("${base[@]}") ;;
  tests) wanted=("${base[@]}" "${tests[@]}") ;;
  plugin) wanted=("${plugin[@]}") ;;
  format) wanted=("${format[@]}") ;;
  all) wanted=("${base[@]}" "${tests[@]}" "${plugin[@]}" "${format[@]}") ;;
  *) echo "usage: $0 [base|tests|plugin|format|all]" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

needs_i386=no
for package in "${missing[@]}"; do
  case "$package" in *:i386) needs_i386=yes ;; esac
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

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
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
