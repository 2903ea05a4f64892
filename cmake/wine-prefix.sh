#!/usr/bin/env bash
# Boots (start) or stops (stop) the Wine prefix that the Windows tests run in.
# All output goes to /dev/null: Wine's background processes inherit the pipes of
# whoever started them, and CTest would wait for those pipes forever.
set -u
action=$1 prefix=$2
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
case $action in
  start)
    mkdir -p "$prefix"
    wineserver -p >/dev/null 2>&1 </dev/null
    wineboot -i >/dev/null 2>&1 </dev/null
    # The null graphics driver: dialogs work without an X server.
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 </dev/null
    # A process that made a window during the boot (on a slow machine the boot shows
    # a progress box) has already tied the desktop to the X driver, which fails
    # without a display. A fresh server gives every test process the null driver.
    wineserver -k >/dev/null 2>&1 </dev/null
    wineserver -w >/dev/null 2>&1 </dev/null
    wineserver -p >/dev/null 2>&1 </dev/null
    # Into a file, not a pipe: Wine's helpers would hold a pipe open.
    wine reg query 'HKCU\Software\Wine\Drivers' /v Graphics >"$prefix/graphics-driver.txt" 2>/dev/null </dev/null
    if ! grep -q null "$prefix/graphics-driver.txt"; then
      echo "wine-prefix: the null graphics driver could not be set in $prefix" >&2
      exit 1
    fi
    wineserver -w >/dev/null 2>&1 </dev/null &
    exit 0 ;;
  stop)
    wineserver -k >/dev/null 2>&1 </dev/null
    exit 0 ;;
esac
exit 2
