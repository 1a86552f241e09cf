#!/usr/bin/env bash
# The test suite built with AddressSanitizer and UndefinedBehaviorSanitizer, with the
# invariant assertions (VANTREL_ASSERT) on, in build-asan/.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=build-asan "$(dirname "$0")/test.sh" -DVANTREL_SANITIZE=ON -DVANTREL_ASSERTIONS=ON -DVANTREL_BENCH=OFF "$@"
