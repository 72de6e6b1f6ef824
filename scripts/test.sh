#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the full build's tests
# (window tests under Xvfb when no display is set), then the core library's
# tests built with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
scripts/build.sh

run_ctest() {
    if [ -z "${DISPLAY:-}" ]; then
        xvfb-run -a -s "-screen 0 1280x1024x24" ctest "$@"
    else
        ctest "$@"
    fi
}

echo "== tests"
run_ctest --test-dir build --output-on-failure -j"$(nproc)"

echo "== core tests with sanitizers"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDIX_CORE_ONLY=ON -DONDIX_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j"$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp"
ctest --test-dir build-sanitize --output-on-failure -j"$(nproc)"
