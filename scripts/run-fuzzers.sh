#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs each named libFuzzer target for a bounded time, starting from its seed
# corpus in tests/fuzz/corpus/, as many at once as there are processors. A
# crash or a sanitizer report fails the run and leaves the input that caused
# it in BUILD/fuzz-artifacts/.
# Usage: run-fuzzers.sh BUILD SECONDS TARGET...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1 seconds=$2
shift 2
mkdir -p "$build/fuzz-artifacts"

fuzz() {
    local target=$1 found="$build/fuzz-corpus/$1" log="$build/fuzz-artifacts/$1.log"
    mkdir -p "$found"
    # New inputs go to the first folder; the seeds in the repository stay as they are.
    if ! "$build/tests/fuzz/${target}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/fuzz-artifacts/$target-" "$found" \
        "$root/tests/fuzz/corpus/$target" 2>"$log"; then
        tail -n 60 "$log"
        echo "FAIL: $target"
        return 1
    fi
    echo "$target: $(grep -E '^stat::number_of_executed_units' "$log" || echo done)"
}

# In turns of as many targets as there are processors, each waited for by
# its own process id so that no failure goes unseen.
at_once=$(nproc)
failed=0
targets=("$@")
for ((first = 0; first < ${#targets[@]}; first += at_once)); do
    pids=()
    for target in "${targets[@]:first:at_once}"; do
        echo "fuzzing $target for $seconds s"
        fuzz "$target" &
        pids+=($!)
    done
    for pid in "${pids[@]}"; do
        wait "$pid" || failed=1
    done
done
exit $failed
