#!/usr/bin/env bash
# Strong scaling of ondix-run from one process to several on plain channels
# (D2Q9 1024 x 1024 and D3Q19 128 x 128 x 128): the throughput of one
# process (rows in series, and on every core), of `mpirun -np N` with one
# thread per process, and the bytes and share of time the processes spend
# exchanging, and the peak resident memory of each process of a short run.
# Usage: scripts/mpi-scaling.sh [BUILD_DIR] [N]
set -euo pipefail
build=${1:-build}
processes=${2:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Containers and CI run as root, which Open MPI refuses unless told.
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1

# The last progress line of a run (a terminal gets them joined by CRs).
last() { tr '\r' '\n' | grep -E '^iteration|^Per process' | tail -2; }

measure() {
    local name=$1 q=$2 nx=$3 ny=$4 nz=$5 iterations=$6
    local doc="$work/$name.lb2"
    "$build/ondix-channeldocument" "$q" "$nx" "$ny" "$nz" "$doc"
    echo "== $name ${nx}x${ny}x${nz}, $iterations iterations"
    echo "-- 1 process, rows in series:"
    "$build/ondix-run" -n "$iterations" --serial -o "$work/one" "$doc" | last
    echo "-- 1 process, rows on every core:"
    "$build/ondix-run" -n "$iterations" -o "$work/threads" "$doc" | last
    echo "-- $processes processes, one thread each:"
    mpirun --oversubscribe -np "$processes" "$build/ondix-run" -n "$iterations" --serial -o "$work/several" "$doc" | last
    echo "-- $processes processes, peak resident memory of a short run:"
    mpirun --oversubscribe -np "$processes" sh -c \
        'exec /usr/bin/time -f "process $OMPI_COMM_WORLD_RANK: %M kB peak resident" "$@"' sh \
        "$build/ondix-run" -n 2 --serial -o "$work/memory" "$doc" 2>&1 >/dev/null | grep 'peak resident' | sort
    if cmp -s "$work/one/$name-final.lb2" "$work/several/$name-final.lb2"; then
        echo "final documents: byte for byte the same"
    else
        echo "final documents: DIFFERENT"
    fi
    rm -rf "$work/one" "$work/threads" "$work/several" "$work/memory" "$doc"
}

measure d2q9 9 1024 1024 1 "${ITERATIONS_2D:-300}"
measure d3q19 19 128 128 128 "${ITERATIONS_3D:-40}"
