#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test this project.
# Idempotent and quick when everything is already there. Must run as root.
set -euo pipefail

need_pkgs=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

for p in cmake g++ ninja-build googletest libgtest-dev libbenchmark-dev \
         g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix mingw-w64-i686-dev \
         g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine64 \
         flac wavpack libcli11-dev wine wine32:i386 python3; do
  have "$p" || need_pkgs+=("$p")
done

if [ ${#need_pkgs[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" != 0 ]; then
  echo "bootstrap: missing packages (${need_pkgs[*]}); run as root to install them" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
