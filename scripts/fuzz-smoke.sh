#!/usr/bin/env bash
# The fuzz smoke CI runs: every fuzz target for a short fixed time (FUZZ_SMOKE_SECONDS,
# default 15) starting from its committed corpus only, built in build-fuzz/ as
# scripts/fuzz.sh builds it. Its inputs, findings and logs go to build-fuzz/smoke/, emptied
# first so that a run never leans on an earlier one. Exits 1 on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-fuzz}
export FUZZ_OUT_DIR="$BUILD_DIR/smoke"
rm -rf "$FUZZ_OUT_DIR"
BUILD_DIR=$BUILD_DIR scripts/fuzz.sh "${FUZZ_SMOKE_SECONDS:-15}" "$@"
