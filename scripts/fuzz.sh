#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (every library instrumented, see fuzz/) into
# build-fuzz/ (or $BUILD_DIR) and runs each for the given time, one after the other on one
# core, starting from the seed corpus committed under fuzz/corpus/<target>.
#
#   scripts/fuzz.sh [seconds per target, default 300] [target ...]
#
# New inputs go to <out>/fuzz-corpus/<target>, findings to <out>/fuzz-findings/, the log of
# each run to <out>/fuzz-logs/<target>.log, where <out> is $FUZZ_OUT_DIR or the build
# folder. Prints each target's final coverage (edges "cov", features "ft") and exits 1 when
# any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
[ $# -gt 0 ] && shift
BUILD_DIR=${BUILD_DIR:-build-fuzz}
launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -G Ninja "${launcher[@]}" \
  -DVANTREL_FUZZ=ON -DVANTREL_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" --target fuzzers -j "${JOBS:-2}"

out=${FUZZ_OUT_DIR:-$BUILD_DIR}
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi
mkdir -p "$out/fuzz-findings" "$out/fuzz-logs"
status=0
for target in "${targets[@]}"; do
  corpus="$out/fuzz-corpus/$target"
  log="$out/fuzz-logs/$target.log"
  mkdir -p "$corpus"
  # The engine's debug outlet talks on stderr for every damaged file: close_fd_mask keeps
  # libFuzzer's own report and the sanitizers' but drops the chatter of the code under test.
  # Debian's assimp (not instrumented) leaks a few kilobytes on some damaged files: the
  # model importer's runs look for crashes, not for the library's own leaks.
  asan_options=${ASAN_OPTIONS:-verify_asan_link_order=0}
  extra=()
  if [ "$target" = model_import_fuzzer ]; then
    asan_options="$asan_options:detect_leaks=0"
    extra=(-detect_leaks=0)
  fi
  # fontconfig keeps its configuration and caches for the life of the process.
  if LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/platform/gdi/tests/lsan.supp} \
     ASAN_OPTIONS=$asan_options "$BUILD_DIR/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
       -close_fd_mask=3 -timeout=10 -rss_limit_mb=2048 "${extra[@]}" \
       -artifact_prefix="$out/fuzz-findings/$target-" \
       "$corpus" "fuzz/corpus/$target" >"$log" 2>&1; then
    result="no finding"
  else
    result="FINDING, see $log"
    status=1
  fi
  coverage=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1 | sed -E 's/.*(cov: [0-9]+ ft: [0-9]+).*/\1/' || true)
  runs=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}' || true)
  echo "$target: ${coverage:-no coverage line}, ${runs:-?} runs in ${seconds}s, $result"
done
exit $status
