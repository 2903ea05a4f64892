#!/usr/bin/env bash
# Runs every test: native, native with AddressSanitizer + UndefinedBehaviorSanitizer,
# the reader under ThreadSanitizer, and the Windows build's programs under Wine:
# the 32-bit build where this machine can run 32-bit programs, else the 64-bit
# test vehicle under 64-bit Wine. Every build treats warnings as errors.
# CVQL_WINDOWS_BUILD=win32|win64 forces one Windows leg. Sets up what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh

jobs=$(nproc)
configure() {
  local preset=$1; shift
  cmake --preset "$preset" -DCVQL_WERROR=ON "$@" >/dev/null
}
run_preset() {
  local preset=$1; shift
  echo "== $preset: configure and build"
  configure "$preset" "$@"
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: tests"
  ctest --preset "$preset" -j "$jobs"
}

corpus=$(cd .. && pwd)/shared/corpus
if ! ls "$corpus"/*.flac >/dev/null 2>&1; then
  echo "!! CORPUS MISSING: no FLAC recordings in $corpus; the corpus round trips are skipped (see README)" >&2
fi

run_preset native
run_preset sanitize

# Readers serve several threads at once, the encoder renders on several and the
# tool decodes one file on several: their tests also run under ThreadSanitizer.
echo "== tsan: reader tests, the encoder and the tool's decode on several threads"
configure tsan
cmake --build --preset tsan -j "$jobs" --target reader_tests container_tests tool_tests
ctest --preset tsan -R 'reader_tests|container_tests.FileEncoderTest|tool_tests.ToolVerify'
# Every fuzz target for a short while on its seeds; longer runs: scripts/fuzz.sh SECONDS.
echo "== fuzz: every target for 20 s"
bash scripts/fuzz.sh 20

leg=${CVQL_WINDOWS_BUILD:-}
if [ -z "$leg" ]; then
  if bash scripts/can-run-wine.sh 32; then leg=win32
  elif bash scripts/can-run-wine.sh 64; then leg=win64
  else leg=none
  fi
fi
case $leg in
  win32)
    echo "== Windows tests: the 32-bit build (the plug-in as shipped) runs under Wine"
    run_preset windows -DCVQL_WINE_TESTS=ON ;;
  win64)
    echo "== Windows tests: the 64-bit test build runs under 64-bit Wine (32-bit programs cannot run here," \
         "or CVQL_WINDOWS_BUILD=win64); the 32-bit plug-in is built and its exports checked"
    run_preset windows -DCVQL_WINE_TESTS=OFF
    # "wine" is then the 64-bit loader, also for the processes Wine starts.
    export PATH="$PWD/scripts/wine64:$PATH"
    run_preset windows64 -DCVQL_WINE_TESTS=ON ;;
  none)
    echo "== Windows tests: NOT RUN - Wine can run neither 32-bit nor 64-bit programs here;" \
         "both Windows builds are built and the DLL exports checked"
    run_preset windows -DCVQL_WINE_TESTS=OFF
    run_preset windows64 -DCVQL_WINE_TESTS=OFF ;;
  *) echo "CVQL_WINDOWS_BUILD must be win32 or win64, not '$leg'" >&2; exit 2 ;;
esac
