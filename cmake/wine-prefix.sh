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
    wineserver -w >/dev/null 2>&1 </dev/null &
    exit 0 ;;
  stop)
    wineserver -k >/dev/null 2>&1 </dev/null
    exit 0 ;;
esac
exit 2
