#!/usr/bin/env bash
# Runs every fuzz target for a while (default 60 s each) on its seed corpus and
# dictionary, with AddressSanitizer and UndefinedBehaviorSanitizer. New crashes,
# hangs (over 1 s per input), leaks and out-of-memory inputs are kept under
# fuzz/regressions/<target>/, where every build replays them as tests. Prints the
# executions and the coverage reached per target.
# Usage: scripts/fuzz.sh [seconds-per-target] [target...]
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
bash scripts/bootstrap.sh || exit 1
cmake --preset fuzz >/dev/null || exit 1
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  read -r -a targets <<<"$(sed -n 's/^set(CVQL_FUZZ_TARGETS \(.*\))$/\1/p' fuzz/CMakeLists.txt)"
fi
nice cmake --build --preset fuzz -j 2 --target fuzz_targets >/dev/null || exit 1

status=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%-14s %12s %8s %8s  %s\n' target executions cov ft result
for t in "${targets[@]}"; do
  corpus=$work/$t
  mkdir -p "$corpus" "fuzz/regressions/$t"
  # The targets that parse files share the container's dictionary.
  case $t in
    text) dict=(-dict=fuzz/dict/text.dict) ;;
    converters | round_trip) dict=() ;;
    *) dict=(-dict=fuzz/dict/container.dict) ;;
  esac
  log=$work/$t.log
  # New inputs go to a scratch corpus; the seeds in the repository stay as they are.
  (cd "$work" && ASAN_OPTIONS=detect_leaks=1 "$OLDPWD/build/fuzz/fuzz/fuzz_$t" "${dict[@]/=/=$OLDPWD/}" \
      -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$OLDPWD/fuzz/regressions/$t/" "$corpus" "$OLDPWD/fuzz/corpus/$t") >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  result=ok
  if [ $rc -ne 0 ]; then
    result="FAILED (log: build/fuzz/$t.log)"
    cp "$log" "build/fuzz/$t.log"
    status=1
  fi
  printf '%-14s %12s %8s %8s  %s\n' "$t" "${runs:-?}" "${cov:-?}" "${ft:-?}" "$result"
done
exit $status
