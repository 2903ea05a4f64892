#!/usr/bin/env bash
# Succeeds when Wine can run Windows programs of the given width on this
# machine: can-run-wine.sh [32|64] (default 32).
# 32: the 32-bit loader must start a program (some kernels and sandboxes refuse
#     32-bit executables), and Wine's 32-bit half must be installed.
# 64: 64-bit Wine must be installed and start (run through scripts/wine64/).
width=${1:-32}
command -v wine >/dev/null 2>&1 || exit 1
case $width in
  32)
    [ -e /lib/ld-linux.so.2 ] || exit 1
    timeout 20 /lib/ld-linux.so.2 --version >/dev/null 2>&1 || exit 1
    dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed" ;;
  64)
    # Through the shim that the 64-bit leg puts first in PATH: Debian's own
    # wine script would take the 32-bit loader whenever it is installed.
    command -v wine64 >/dev/null 2>&1 || [ -x /usr/lib/wine/wine64 ] || exit 1
    timeout 20 "$(dirname "$0")/wine64/wine" --version >/dev/null 2>&1 ;;
  *) exit 2 ;;
esac
