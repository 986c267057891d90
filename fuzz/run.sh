#!/bin/sh
# Runs the fuzz targets of a build configured with -DRUVO_FUZZ=ON (see fuzz/README.md).
#
#   sh fuzz/run.sh BUILD --runs N [TARGET...]     N executions of each target in turn, from
#                                                 a fixed seed (what ctest runs)
#   sh fuzz/run.sh BUILD --seconds S [TARGET...]  each target for S seconds or 10 million
#                                                 executions, whichever comes first, two at
#                                                 a time at the lowest priority
#
# Without targets: every target the build has.  A target starts from its seed corpus
# fuzz/corpus/NAME and keeps what it finds in BUILD/fuzz/work/NAME, where a long run goes on
# from the last one, and its output in BUILD/fuzz/logs/NAME.log; a short run uses
# BUILD/fuzz/smoke/ afresh instead, so that it can run beside a long one.  A finding is saved
# as BUILD/fuzz/artifacts/NAME-* and the run fails.  Each target's line at the end sums up.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
[ $# -ge 3 ] || { echo "usage: $0 BUILD --runs N | --seconds S [TARGET...]" >&2; exit 2; }
build=$(cd "$1" && pwd)
mode=$2
amount=$3
shift 3
targets=${*:-"scan_parse script deserial pack encoding format regexp preprocess dllsig"}

# The limits every run has: memory per process and per allocation, and seconds per input,
# counted on the clock: generous, since a run at the lowest priority on a busy machine waits.
limits="-rss_limit_mb=2048 -malloc_limit_mb=512 -timeout=60"
export UBSAN_OPTIONS=print_stacktrace=1

dir=$build/fuzz/work
logs=$build/fuzz/logs
prepare() {
    mkdir -p "$dir/$1" "$build/fuzz/artifacts" "$logs"
}

# The fuzzer's own lines go to its log; the target's standard output and error are closed.
priority=""
fuzz_target() {
    t=$1
    shift
    $priority "$build/bin/fuzz_$t" $limits -close_fd_mask=3 -print_final_stats=1 \
        -artifact_prefix="$build/fuzz/artifacts/$t-" "$@" \
        "$dir/$t" "$here/corpus/$t"
}

summary() {
    t=$1
    log="$logs/$t.log"
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 | sed -E 's/^#[0-9]+[[:space:]]+[A-Z]+[[:space:]]+//')
    found=$(ls "$build/fuzz/artifacts" | grep -c "^$t-" || true)
    corpus=$(ls "$dir/$t" | wc -l)
    echo "$t: ${execs:-?} executions, $last, work corpus $corpus files, findings $found"
}

case "$mode" in
--runs)
    dir=$build/fuzz/smoke
    logs=$dir
    for t in $targets; do
        rm -rf "$dir/$t"
        prepare "$t"
        fuzz_target "$t" -runs="$amount" -seed=1 >"$logs/$t.log" 2>&1 || {
            cat "$logs/$t.log" >&2
            exit 1
        }
        summary "$t"
    done
    ;;
--seconds)
    priority="nice -n 19"
    status=0
    set -- $targets
    while [ $# -gt 0 ]; do
        pair="$1"
        shift
        if [ $# -gt 0 ]; then
            pair="$pair $1"
            shift
        fi
        pids=""
        for t in $pair; do
            prepare "$t"
            fuzz_target "$t" -max_total_time="$amount" -runs=10000000 >"$logs/$t.log" 2>&1 &
            pids="$pids $!"
        done
        for p in $pids; do wait "$p" || status=1; done
        for t in $pair; do summary "$t"; done
    done
    exit $status
    ;;
*)
    echo "usage: $0 BUILD --runs N | --seconds S [TARGET...]" >&2
    exit 2
    ;;
esac
