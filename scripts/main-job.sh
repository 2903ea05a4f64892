#!/usr/bin/env bash
# The main job: sets up what is missing, builds the native tools, round-trips the
# bundled recording through qla (encode with verification, decode, bit-for-bit
# comparison), then builds the Windows plug-in and, where this machine can run
# 32-bit Windows programs, reads the same file through cvqlplug.dll under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

echo "== set-up"
bash scripts/bootstrap.sh

echo "== native build"
cmake --preset native >/dev/null
cmake --build --preset native

qla=$root/build/native/tools/qla/qla
work=$root/build/native/main-job
mkdir -p "$work"
sample=$root/testdata/mono16.flac

echo "== round trip of testdata/mono16.flac"
flac -d -f -s -o "$work/sample.wav" "$sample"
start=$(date +%s.%N)
"$qla" encode --verify -f -o "$work/sample.qla" "$work/sample.wav"
encoded=$(date +%s.%N)
"$qla" decode -f -o "$work/roundtrip.wav" "$work/sample.qla"
decoded=$(date +%s.%N)
cmp "$work/sample.wav" "$work/roundtrip.wav"
echo "decoded file is identical to the source, byte for byte"

python3 - "$work/sample.wav" "$work/sample.qla" "$start" "$encoded" "$decoded" <<'PY'
import os, sys, struct
wav, qla, t0, t1, t2 = sys.argv[1], sys.argv[2], *map(float, sys.argv[3:])
with open(wav, 'rb') as f:
    data = f.read()
pos, seconds = 12, 0.0
rate = block = 0
while pos + 8 <= len(data):
    cid, size = data[pos:pos + 4], struct.unpack('<I', data[pos + 4:pos + 8])[0]
    if cid == b'fmt ':
        _, _, rate, _, block = struct.unpack('<HHIIH', data[pos + 8:pos + 22])
    if cid == b'data':
        seconds = size / block / rate
    pos += 8 + size + (size & 1)
ws, qs = os.path.getsize(wav), os.path.getsize(qla)
print(f"size: {qs} bytes of {ws} ({100.0 * qs / ws:.1f} % of the WAV, ratio {ws / qs:.2f}:1)")
print(f"audio: {seconds:.1f} s; encode with verification {seconds / (t1 - t0):.0f}x realtime, "
      f"decode {seconds / (t2 - t1):.0f}x realtime (whole process runs, start-up included)")
PY
"$qla" info "$work/sample.qla"

echo "== Windows build (32-bit plug-in cvqlplug.dll and qla.exe)"
if bash scripts/can-run-wine.sh; then wine_tests=ON; else wine_tests=OFF; fi
cmake --preset windows -DCVQL_WINE_TESTS=$wine_tests >/dev/null
cmake --build --preset windows
if bash scripts/can-run-wine.sh; then
  echo "== reading sample.qla with the Windows build under Wine"
  export WINEPREFIX=$root/build/windows/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wine "$root/build/windows/tools/qla/qla.exe" decode -f -o "$(winepath -w "$work/wine-decoded.wav")" \
    "$(winepath -w "$work/sample.qla")"
  cmp "$work/sample.wav" "$work/wine-decoded.wav"
  echo "the Windows build under Wine decodes the same bytes"
  echo "== the plug-in's host-harness tests under Wine"
  ctest --test-dir "$root/build/windows" -R 'module_tests|reader_tests' --output-on-failure
else
  echo "== this machine cannot run 32-bit programs, so Wine cannot load cvqlplug.dll here;"
  echo "   the Windows build was compiled (build/windows/ffplugs/cvla/cvqlplug.dll) but not run."
fi
echo "== main job done"
