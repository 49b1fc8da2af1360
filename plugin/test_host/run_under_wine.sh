#!/usr/bin/env bash
# Runs the plug-in's test host under Wine on a headless X server: makes the
# Wine prefix in the work folder on first use, exports the figure scene with
# the native build for the comparison, runs every test, then saves a
# screenshot of the options dialog as WORK_DIR/options_dialog.png.
#   run_under_wine.sh WIN32_BUILD_DIR NATIVE_REFERENCE WORK_DIR [--required]
#                     [--unavailable REASON]
# Exits 77 (skipped) when a tool is missing, unless --required is given, and
# always when --unavailable says why Wine could not be installed here; the
# plug-in's own build must still be there.
set -euo pipefail

if [ $# -lt 3 ]; then
  echo "usage: $0 WIN32_BUILD_DIR NATIVE_REFERENCE WORK_DIR [--required]" >&2
  exit 2
fi
win32=$(cd "$1" 2>/dev/null && pwd || echo "$1")
native=$2
work=$3
all_args=("$@")
shift 3
required=
unavailable=
while [ $# -gt 0 ]; do
  case "$1" in
    --required) required=--required ;;
    --unavailable) unavailable=${2:-}; shift ;;
    *) echo "$0: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done

missing() {
  echo "plug-in tests: $* (scripts/install-deps.sh plugin installs it)" >&2
  if [ "$required" = --required ]; then exit 1; fi
  echo "plug-in tests skipped" >&2
  exit 77
}

for file in kestrelworks.dle kwhost.dll kw_plugin_test_host.exe; do
  if [ ! -f "$win32/$file" ]; then
    [ "$required" = --required ] || command -v i686-w64-mingw32-g++ >/dev/null 2>&1 ||
      missing "mingw-w64 is not installed"
    echo "plug-in tests: $win32/$file was not built" >&2
    exit 1
  fi
done

if [ -n "$unavailable" ]; then
  echo "plug-in test under Wine: SKIPPED: $unavailable"
  exit 77
fi

for tool in wine wineboot wineserver winepath xvfb-run xauth import; do
  command -v "$tool" >/dev/null 2>&1 || missing "$tool is not installed"
done

# Everything below runs on its own headless X server.
if [ -z "${KW_UNDER_XVFB:-}" ]; then
  export KW_UNDER_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "${all_args[@]}"
fi

mkdir -p "$work"
cd "$work"
export WINEPREFIX="$work/wineprefix"
export WINEARCH=win32
export WINEDEBUG=-all
# No Mono or Gecko installer prompts while the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="

if [ ! -f "$WINEPREFIX/.kestrelworks-ready" ]; then
  echo "plug-in tests: making the Wine prefix (the first time takes a minute)" >&2
  rm -rf "$WINEPREFIX"
  wineboot --init >/dev/null 2>&1
  # Without a window manager Wine draws the window frames itself.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
  # Verdana is not free; DejaVu Sans is drawn on the same wide proportions.
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Verdana /t REG_SZ /d 'DejaVu Sans' /f \
    >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.kestrelworks-ready"
fi

rm -rf references
mkdir references
"$native" references

host=$(winepath -w "$win32/kw_plugin_test_host.exe" 2>/dev/null)
plugin=$(winepath -w "$win32/kestrelworks.dle" 2>/dev/null)

status=0
timeout 600 wine "$host" --plugin "$plugin" --references references || status=$?

rm -f dialog.ready dialog.taken options_dialog.png
timeout 120 wine "$host" --plugin "$plugin" --screenshot dialog &
shooter=$!
for _ in $(seq 1 900); do
  [ -f dialog.ready ] && break
  kill -0 "$shooter" 2>/dev/null || break
  sleep 0.1
done
if [ -f dialog.ready ]; then
  read -r left top width height < dialog.ready
  import -window root -crop "${width}x${height}+${left}+${top}" +repage options_dialog.png
fi
touch dialog.taken
shot_status=0
wait "$shooter" || shot_status=$?
wineserver -w

if [ ! -s options_dialog.png ] || [ "$shot_status" -ne 0 ]; then
  echo "plug-in tests: no screenshot of the options dialog" >&2
  status=1
else
  echo "screenshot of the options dialog: $work/options_dialog.png"
fi
exit "$status"
