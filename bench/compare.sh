#!/usr/bin/env bash
# Compares qla with flac -5, flac -8 and wavpack on the same inputs in one run:
# size, single-threaded encode and decode throughput (median of several runs)
# and qla's peak memory. Usage: bench/compare.sh [runs]   (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
qla=${QLA:-$PWD/build/native/tools/qla/qla}
if [ ! -x "$qla" ]; then
  cmake --preset native >/dev/null
  cmake --build --preset native --target qla
fi
exec python3 bench/compare.py --qla "$qla" --corpus "${CVQL_CORPUS_DIR:-$PWD/../shared/corpus}" \
  --work "$PWD/build/bench" --runs "${1:-5}"
