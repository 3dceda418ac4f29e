#!/usr/bin/env bash
# Runs every fuzzing harness for SECONDS (or RUNS executions, whichever comes
# first), FUZZ_JOBS at a time (default 2), each on its seed corpus
# (fuzz/corpus/<harness>, never written) and its work corpus
# (build/fuzz/run/<harness>/corpus, which keeps what it found). Prints one
# line per harness; a finding leaves its reproducer in
# build/fuzz/findings/<harness>/ and makes the exit status 1.
# Usage: fuzz/run.sh SECONDS [RUNS] [HARNESS...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: fuzz/run.sh SECONDS [RUNS] [HARNESS...]}
runs=${2:--1}
shift $(($# >= 2 ? 2 : 1))
jobs=${FUZZ_JOBS:-2}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
bin=build/fuzz/fuzz
harnesses=("$@")
if ((${#harnesses[@]} == 0)); then
    for exe in "$bin"/fuzz_*; do harnesses+=("${exe##*/fuzz_}"); done
fi

run_one() {
    local h=$1 seconds=$2 runs=$3 bin=$4
    local work=build/fuzz/run/$h findings=build/fuzz/findings/$h
    mkdir -p "$work/corpus" "$findings"
    local dict=()
    [[ -f fuzz/dict/$h.dict ]] && dict=(-dict="fuzz/dict/$h.dict")
    # A hang is an input that runs for 10 s; 2 GB is a leak or a runaway.
    "$bin/fuzz_$h" "${dict[@]}" -max_total_time="$seconds" -runs="$runs" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" \
        "$work/corpus" "fuzz/corpus/$h" >"$work/log" 2>&1 || echo "exit $?" >>"$work/log"
}
export -f run_one
printf '%s\n' "${harnesses[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ {} "$seconds" "$runs" "$bin"

failed=0
for h in "${harnesses[@]}"; do
    log=build/fuzz/run/$h/log
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    status=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1 || true)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$status")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$status")
    corp=$(sed -n 's/.* corp: \([0-9]*\/[0-9]*[a-zA-Z]*\).*/\1/p' <<<"$status")
    found=$(find "build/fuzz/findings/$h" -type f \( -name 'crash-*' -o -name 'leak-*' \
        -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
    seconds_used=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log")
    if grep -q '^exit ' "$log" || ((found > 0)); then
        failed=1
        ((found > 0)) || found="none saved ($(grep '^exit ' "$log"))"
    fi
    printf '%-14s %12s executions in %4ss, coverage %5s (features %s), corpus %s, findings %s\n' \
        "$h" "${execs:-?}" "${seconds_used:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}" "$found"
    ((found == 0)) 2>/dev/null || ls build/fuzz/findings/"$h"/* 2>/dev/null | sed 's/^/    reproducer: /'
done
exit $failed
