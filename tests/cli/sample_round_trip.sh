#!/usr/bin/env bash
# Round trip of the bundled recording through the qla tool of one build:
# decode the FLAC sample with flac, encode it with qla, decode it again and
# compare with the source byte for byte. Given the native build's tool, the
# encoded bytes must also equal what it writes: every build writes the same file.
# Usage: sample_round_trip.sh QLA WORK [NATIVE_QLA EMULATOR]
set -euo pipefail
qla=$1 work=$2 native=${3:-} emulator=${4:-}
sample=$(cd "$(dirname "$0")/../.." && pwd)/testdata/mono16.flac

mkdir -p "$work"
flac -d -s -f -o "$work/mono16.wav" "$sample"

path() {  # a file name as the tool under test sees it
  if [ -n "$emulator" ]; then winepath -w "$1" 2>/dev/null; else echo "$1"; fi
}
run() { if [ -n "$emulator" ]; then "$emulator" "$qla" "$@"; else "$qla" "$@"; fi; }

run encode "$(path "$work/mono16.wav")" -o "$(path "$work/mono16.qla")" -f -q
run decode "$(path "$work/mono16.qla")" -o "$(path "$work/mono16.back.wav")" -f -q
cmp "$work/mono16.wav" "$work/mono16.back.wav"
if [ -n "$native" ]; then
  if [ ! -x "$native" ]; then
    echo "no native qla tool at $native to compare with: build the native preset first"
    exit 1
  fi
  "$native" encode "$work/mono16.wav" -o "$work/mono16.native.qla" -f -q
  cmp "$work/mono16.native.qla" "$work/mono16.qla"
  echo "encoded bytes equal the native build's"
fi
echo "round trip of the bundled sample: identical ($(stat -c %s "$work/mono16.qla") bytes encoded)"
