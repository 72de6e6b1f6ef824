#!/usr/bin/env bash
# Usage: scripts/fuzz.sh [SECONDS]   (from the repository root; default 60)
# Builds the fuzz targets of fuzz/ with clang, libFuzzer and the address and
# undefined-behaviour sanitizers (in build-fuzz/, core library only), then
# runs each target for SECONDS seconds on a working copy of its seed corpus.
# Installs what it needs (the build's packages, clang and libFuzzer). Crashing
# inputs are kept in build-fuzz/artifacts/<target>/. Exits non-zero when a
# target found a fault.
set -uo pipefail
seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ONDIX_FUZZ_BUILD:-$root/build-fuzz}"
targets=(textgeometry pnggeometry lb2 movingcell sourcecell opencell strategy)

"$root/scripts/bootstrap.sh" clang libclang-rt-14-dev || exit 1

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DONDIX_CORE_ONLY=ON -DONDIX_SANITIZE=ON -DONDIX_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" >/dev/null || exit 1
cmake --build "$build" -j"${JOBS:-2}" --target $(printf 'ondix-fuzz-%s ' "${targets[@]}") || exit 1

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$root/scripts/lsan.supp}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export QT_QPA_PLATFORM=offscreen

status=0
total=0
for t in "${targets[@]}"; do
    corpus="$build/corpus/$t"
    artifacts="$build/artifacts/$t"
    mkdir -p "$corpus" "$artifacts"
    log="$build/fuzz-$t.log"
    "$build/fuzz/ondix-fuzz-$t" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=4096 \
        -timeout=20 -artifact_prefix="$artifacts/" "$corpus" "$root/fuzz/corpus/$t" >"$log" 2>&1
    rc=$?
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
    runs=${runs:-0}
    total=$((total + runs))
    if [ $rc -eq 0 ]; then
        echo "$t: $runs inputs, no finding"
    else
        echo "$t: $runs inputs, FINDING (exit $rc; see $log and $artifacts)"
        status=1
    fi
done
echo "all targets: $total inputs"
exit $status
