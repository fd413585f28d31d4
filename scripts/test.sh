#!/usr/bin/env bash
# Installs what the tests need, builds, and runs every test through CTest; then builds the unit
# and window tests with AddressSanitizer and UndefinedBehaviorSanitizer and runs them again.
# Fails when any test fails. Set ONDAVO_SKIP_SANITIZE=1 to skip the second pass.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/deps.sh

scripts/build.sh build -DONDAVO_WERROR=ON
(cd build && ctest --output-on-failure --timeout 300)

if [ "${ONDAVO_SKIP_SANITIZE:-0}" != 1 ]; then
    scripts/build.sh build-asan -DONDAVO_WERROR=ON -DONDAVO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
    # Leak checking is off: Qt's and fontconfig's process-lifetime caches would drown real reports.
    (cd build-asan && ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --output-on-failure --timeout 600 -L sanitize)
fi
