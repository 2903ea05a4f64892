#!/usr/bin/env bash
# Opens the renderer's format page in a small host window under Wine (on a
# virtual X display when there is none) and saves a PNG screenshot of it.
# Usage: scripts/show-page.sh [OUT.png]   (default: build/windows/format-page.png)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/windows
out=${1:-$build/format-page.png}

need=()
command -v Xvfb >/dev/null 2>&1 || need+=(xvfb)
command -v import >/dev/null 2>&1 || need+=(imagemagick)
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "show-page: install ${need[*]} first (as root)" >&2
    exit 1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

cd "$root"
[ -f "$build/build.ninja" ] || cmake --preset windows >/dev/null
nice cmake --build --preset windows -j2 --target cvqlplug page_host >/dev/null

# A prefix of its own with the X11 graphics driver (the test prefix uses the
# null driver).
export WINEPREFIX=$build/show-page-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  display=90
  while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
  Xvfb ":$display" -screen 0 520x260x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$display"
  sleep 1
fi
if [ ! -d "$WINEPREFIX" ]; then
  timeout 300 wineboot -i >/dev/null 2>&1 </dev/null
  # Wine draws the window's caption and frame itself (there is no window manager).
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 </dev/null
fi

ready=$build/show-page.ready
rm -f "$ready"
(cd "$build/tests" && timeout 120 wine page_host.exe 30 "$(winepath -w "$ready")" >/dev/null 2>&1 </dev/null) &
host_pid=$!
for _ in $(seq 1 90); do
  [ -e "$ready" ] && break
  kill -0 "$host_pid" 2>/dev/null || break
  sleep 1
done
[ -e "$ready" ] || { echo "show-page: the page did not appear" >&2; exit 1; }
sleep 1
import -window root "$out"
kill "$host_pid" 2>/dev/null || true
wait "$host_pid" 2>/dev/null || true
rm -f "$ready"
echo "show-page: $out"
