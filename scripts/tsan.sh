#!/usr/bin/env bash
# Builds the core stepping tests with ThreadSanitizer in build-tsan/ and runs
# the cases that step in parallel, among them closed and periodic boxes on
# every model: any data race between the rows of a phase, or between a phase
# and the code around it, is reported and fails the run. Run by hand; with
# ccache warm it takes a few minutes.
#
# Qt is not built with the sanitizer, so the thread pool's own hand-over of
# work (atomics and futex-based locks inside Qt) is invisible to it. Built
# with the sanitizer, the grid therefore runs the rows of a parallel phase on
# plain threads whose start and join it sees (see mapOnPool in grid.cpp);
# the rows still run side by side. scripts/tsan.supp silences what remains
# inside Qt's own threads (Qt Test's watchdog), never project code.
#
#   scripts/tsan.sh            build and run
#   scripts/tsan.sh --no-build run what build-tsan/ holds
set -euo pipefail
cd "$(dirname "$0")/.."

tests=(tst_stepping tst_forces tst_heat tst_porousshallow tst_scalartracers)
# Test functions per program (all of them when none are named): the ones
# that run rows on the thread pool, kept small so the run stays short.
declare -A functions=(
    [tst_stepping]="pathsAgreeBitwise statisticsMatchIndependentSums editsBetweenStepsReachTheFastPath"
    [tst_forces]="serialEqualsParallel reportedVelocityUnderGravity"
    [tst_heat]="serialEqualsParallel"
    [tst_porousshallow]="porousWithoutSolidIsPlainFluid multicomponentDarcySpeed"
    [tst_scalartracers]="closedBoxConservesAndWrapsTransparently"
)

if [ "${1:-}" != "--no-build" ]; then
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(cd .. && pwd)}"
    launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDIX_CORE_ONLY=ON \
        -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" "${launcher[@]}" >/dev/null
    cmake --build build-tsan -j"$(nproc)" --target "${tests[@]}"
fi

export TSAN_OPTIONS="halt_on_error=0 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp"
failed=0
for t in "${tests[@]}"; do
    echo "== $t ${functions[$t]:-}"
    log="build-tsan/$t.tsan.log"
    # shellcheck disable=SC2086
    (cd build-tsan && ./"$t" ${functions[$t]:-}) >"$log" 2>&1 || true
    grep -E "^(FAIL|Totals)|^SUMMARY: ThreadSanitizer" "$log" || true
    if grep -q "WARNING: ThreadSanitizer" "$log" || ! grep -q "^Totals: .* 0 failed" "$log"; then
        echo "   reports or failures: $log"
        failed=1
    fi
done
if [ "$failed" = 0 ]; then
    echo "ThreadSanitizer: no race reported"
fi
exit "$failed"
