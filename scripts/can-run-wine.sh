#!/usr/bin/env bash
# Succeeds when Wine can run 32-bit Windows programs on this machine: the 32-bit
# loader must start (some kernels and sandboxes refuse 32-bit executables).
command -v wine >/dev/null 2>&1 || exit 1
[ -e /lib/ld-linux.so.2 ] || exit 1
timeout 20 /lib/ld-linux.so.2 --version >/dev/null 2>&1
