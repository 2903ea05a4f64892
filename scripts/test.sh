#!/usr/bin/env bash
# Runs every test: native, native with AddressSanitizer + UndefinedBehaviorSanitizer,
# the reader under ThreadSanitizer, and the 32-bit Windows build (its programs under Wine where this machine can run
# 32-bit programs). Sets up what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh

jobs=$(nproc)
run_preset() {
  local preset=$1; shift
  echo "== $preset: configure and build"
  cmake --preset "$preset" "$@" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: tests"
  ctest --preset "$preset" -j "$jobs"
}

run_preset native
run_preset sanitize

# Readers serve several threads at once: their tests also run under ThreadSanitizer.
echo "== tsan: reader tests"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target reader_tests
ctest --preset tsan -R reader_tests
# Every fuzz target for a short while on its seeds; longer runs: scripts/fuzz.sh SECONDS.
echo "== fuzz: every target for 20 s"
bash scripts/fuzz.sh 20
if bash scripts/can-run-wine.sh; then
  run_preset windows -DCVQL_WINE_TESTS=ON
else
  echo "== windows: this machine cannot execute 32-bit programs, so Wine cannot run the"
  echo "   Windows test programs here; building them and checking the DLL's export table only."
  run_preset windows -DCVQL_WINE_TESTS=OFF
fi
