#!/usr/bin/env bash
# Compares qla (one thread and -j N) with flac -5, -5 -j N and -8 and wavpack on
# the same inputs in one run: sizes, wall and CPU times, peak memory, the host
# read path and the speed targets, as Markdown tables.
# Usage: bench/compare.sh [runs]   (default 5)
# The newest peers come from the Debian 13 folder of bench/setup-peers.sh
# (QLA_PEER_ROOT, default /opt/qla-peers/trixie); without it only the system's
# flac is compared.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$PWD/build/native
qla=${QLA:-$build/tools/qla/qla}
if [ -z "${QLA:-}" ]; then
  cmake --preset native >/dev/null
  cmake --build --preset native --target qla qla_host_read >/dev/null
fi
exec python3 bench/compare.py --qla "$qla" --host-read "$build/bench/qla_host_read" \
  --corpus "${CVQL_CORPUS_DIR:-$PWD/../shared/corpus}" --work "$build/bench-work" \
  --peer-root "${QLA_PEER_ROOT:-/opt/qla-peers/trixie}" --runs "${1:-5}"
