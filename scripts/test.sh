#!/usr/bin/env bash
# Installs what the tests need, builds, validates the installed desktop entry and metainfo, and runs
# every test through CTest; then builds the unit and window tests with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs them again.
# Fails when any test fails. Set ONDAVO_SKIP_SANITIZE=1 to skip the second pass.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/deps.sh

scripts/build.sh build -DONDAVO_WERROR=ON

# The installed menu entry and metainfo as desktops and software centres read them; the metainfo
# must find its desktop file in the tree. A desktop-file-validate warning fails like an error, a
# hint does not. (tst_autostart validates the login entry the program writes.)
rm -rf build/install-check
cmake --install build --prefix build/install-check >/dev/null
entry=build/install-check/share/applications/ondavo.desktop
report=$(desktop-file-validate "$entry") || { echo "$report" >&2; exit 1; }
[ -z "$report" ] || echo "$report"
if grep -q -E ': (error|warning): ' <<<"$report"; then exit 1; fi
appstreamcli validate-tree --no-net build/install-check

(cd build && ctest --output-on-failure --timeout 300)

if [ "${ONDAVO_SKIP_SANITIZE:-0}" != 1 ]; then
    scripts/build.sh build-asan -DONDAVO_WERROR=ON -DONDAVO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
    # Leak checking is off: Qt's and fontconfig's process-lifetime caches would drown real reports.
    (cd build-asan && ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --output-on-failure --timeout 600 -L sanitize)
fi

# A short fuzz pass: each libFuzzer target (tests/fuzz) runs for a while from its seed corpus, built
# with Clang, AddressSanitizer and UndefinedBehaviorSanitizer. Any crash or broken property fails the
# script. Inputs the fuzzer finds go under build-fuzz, never into the seed corpus. Set
# ONDAVO_SKIP_FUZZ=1 to skip it, ONDAVO_FUZZ_SECONDS to change the time per target (default 30).
if [ "${ONDAVO_SKIP_FUZZ:-0}" != 1 ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DONDAVO_FUZZ=ON >/dev/null
    cmake --build "$root/build-fuzz" --parallel "$(nproc)" --target ondavo_fuzz
    for seeds in "$root"/tests/fuzz/corpus/*/; do
        target=$(basename "$seeds")
        work="$root/build-fuzz/fuzz-corpus/$target"
        found="$root/build-fuzz/fuzz-findings/$target"
        mkdir -p "$work" "$found"
        echo "Fuzzing $target for ${ONDAVO_FUZZ_SECONDS:-30} s"
        if ! (cd "$work" && UBSAN_OPTIONS=print_stacktrace=1 "$root/build-fuzz/tests/fuzz/$target" \
                -max_total_time="${ONDAVO_FUZZ_SECONDS:-30}" -print_final_stats=1 \
                -artifact_prefix="$found/" "$work" "$seeds"); then
            echo "FUZZING FAILED: $target crashed or broke its property; the input is in $found" >&2
            exit 1
        fi
    done
fi
