#!/usr/bin/env bash
# Sets up the newest peer encoders for the benchmark: a minimal Debian 13 folder
# with its flac and wavpack, run through chroot by bench/compare.sh. Idempotent;
# benchmark only (the tests never use it). Needs root and Debian's package mirror.
# Usage: bench/setup-peers.sh [folder]   (default /opt/qla-peers/trixie)
set -euo pipefail
root=${1:-${QLA_PEER_ROOT:-/opt/qla-peers/trixie}}
mirror=${QLA_PEER_MIRROR:-http://deb.debian.org/debian}
if [ -x "$root/usr/bin/flac" ] && [ -x "$root/usr/bin/wavpack" ]; then
  echo "peers ready in $root"; exit 0
fi
if ! command -v debootstrap >/dev/null; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null
fi
mkdir -p "$root"
if [ ! -x "$root/usr/bin/apt-get" ]; then
  debootstrap --variant=minbase --include=flac,wavpack trixie "$root" "$mirror"
fi
if [ ! -x "$root/usr/bin/flac" ] || [ ! -x "$root/usr/bin/wavpack" ]; then
  chroot "$root" apt-get install -y -qq flac wavpack
fi
chroot "$root" flac --version
chroot "$root" wavpack --version | head -n 2
