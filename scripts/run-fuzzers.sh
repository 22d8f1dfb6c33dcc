#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs each named libFuzzer target for a bounded time, starting from its seed
# corpus in tests/fuzz/corpus/. A crash or a sanitizer report fails the run
# and leaves the input that caused it in BUILD/fuzz-artifacts/.
# Usage: run-fuzzers.sh BUILD SECONDS TARGET...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1 seconds=$2
shift 2
mkdir -p "$build/fuzz-artifacts"
for target in "$@"; do
    found="$build/fuzz-corpus/$target"
    mkdir -p "$found"
    echo "fuzzing $target for $seconds s"
    # New inputs go to the first folder; the seeds in the repository stay as they are.
    "$build/tests/fuzz/${target}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/fuzz-artifacts/$target-" "$found" "$root/tests/fuzz/corpus/$target" \
        2>"$build/fuzz-artifacts/$target.log" ||
        { tail -n 60 "$build/fuzz-artifacts/$target.log"; echo "FAIL: $target"; exit 1; }
    grep -E '^stat::number_of_executed_units|^Done' "$build/fuzz-artifacts/$target.log" || true
done
