#!/bin/sh
# Runs a Windows program under Wine on a private virtual X display, then ends
# everything it started, whatever happens.
#
#   on-virtual-display.sh WINEPREFIX SHOTFOLDER PROGRAM [ARGUMENT...]
#
# While the program runs, a helper answers its screenshot requests: a file
# SHOTFOLDER/NAME.request holding an ImageMagick crop geometry (WxH+X+Y)
# becomes SHOTFOLDER/NAME.png, and the request file is removed. SHOTFOLDER
# "-" means no helper. The program gets E2E_TIMEOUT seconds (default 300),
# on a screen of E2E_SCREEN (default 1024x768x24; 1280x800x24 is a Steam
# Deck's). Exits with the program's status.
set -u
here=$(cd "$(dirname "$0")" && pwd)
wine_run=$here/../../cmake/wine-run
prefix=$1
shots=$2
shift 2

xvfb_pid=""
helper_pid=""
cleanup() {
  [ -n "$helper_pid" ] && kill "$helper_pid" 2>/dev/null
  # The prefix's Wine processes end while their display still exists.
  if [ -f "$prefix/.ready" ]; then
    WINEPREFIX=$prefix timeout 30 wineserver -w 2>/dev/null ||
      WINEPREFIX=$prefix wineserver -k 2>/dev/null
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# The first display number that no X server uses.
display=""
for n in $(seq 90 199); do
  if [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; then continue; fi
  Xvfb ":$n" -screen 0 "${E2E_SCREEN:-1024x768x24}" -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
  done
  if [ -e "/tmp/.X11-unix/X$n" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
    display=":$n"
    break
  fi
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=""
done
if [ -z "$display" ]; then
  echo "on-virtual-display: no X display could be started" >&2
  exit 1
fi
export DISPLAY="$display"

if [ "$shots" != "-" ]; then
  mkdir -p "$shots"
  (
    while :; do
      for request in "$shots"/*.request; do
        [ -e "$request" ] || continue
        name=${request%.request}
        if import -display "$display" -window root -crop "$(cat "$request")" \
            +repage "$name.part.png" 2>/dev/null; then
          mv "$name.part.png" "$name.png"
        fi
        rm -f "$request"
      done
      sleep 0.1
    done
  ) &
  helper_pid=$!
fi

# Wine draws the caption buttons and menu marks with its Marlett font, which
# Debian ships apart (fonts-wine) and this Wine does not find by itself.
marlett=/usr/share/wine/fonts/marlett.ttf
if [ -f "$marlett" ] && [ ! -f "$prefix/drive_c/windows/Fonts/marlett.ttf" ]; then
  [ -f "$prefix/.ready" ] || "$wine_run" "$prefix" cmd /c exit >/dev/null 2>&1
  cp "$marlett" "$prefix/drive_c/windows/Fonts/" 2>/dev/null
fi

timeout -k 10 "${E2E_TIMEOUT:-300}" "$wine_run" "$prefix" "$@"
