#!/usr/bin/env bash
# Writes the files that the Windows host test compares the plug-in's renders
# with: every corpus recording decoded to WAV by flac and encoded by the native
# qla tool (built first when it is missing). Without flac or a native build the
# folder stays empty and the test says so.
# Usage: native-reference.sh SOURCE_DIR CORPUS_DIR OUT_DIR
set -u
src=$1 corpus=$2 out=$3
rm -rf "$out"
mkdir -p "$out"
command -v flac >/dev/null 2>&1 || { echo "flac is missing: no reference files"; exit 0; }
qla=$src/build/native/tools/qla/qla
if [ ! -x "$qla" ]; then
  if ! (cd "$src" && cmake --preset native >/dev/null && nice cmake --build --preset native -j2 --target qla >/dev/null); then
    echo "the native qla tool cannot be built: no reference files"
    exit 0
  fi
fi
for recording in "$corpus"/*.flac; do
  [ -e "$recording" ] || continue
  name=$(basename "$recording" .flac)
  flac -d -f -s -o "$out/$name.wav" "$recording" </dev/null || exit 1
  # The host renders audio and metadata only: no copy of the source layout.
  "$qla" encode -q -f --no-keep-foreign -o "$out/$name.qla" "$out/$name.wav" </dev/null || exit 1
done
exit 0
