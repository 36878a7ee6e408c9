#!/usr/bin/env bash
# Runs every fuzz target of build/host-fuzz for SECONDS each, seeded with the
# shared test vectors of the host build; fails on the first crash, leak or
# hang. Usage: run_fuzz.sh SECONDS
set -euo pipefail
seconds="${1:-25}"
root=$(cd "$(dirname "$0")/../.." && pwd)
bin="$root/build/host-fuzz/bin"
seeds="$root/build/host/trust-vectors"
[ -d "$seeds" ] || { echo "run_fuzz: $seeds missing (build the host preset first)" >&2; exit 1; }
found=0
passed=0
for target in "$bin"/*_fuzz; do
    [ -x "$target" ] || continue
    found=1
    name=$(basename "$target")
    corpus="$root/build/host-fuzz/corpus/$name"
    mkdir -p "$corpus"
    # A target's own seeds, where the shared vectors are not its input.
    own_seeds=()
    case "$name" in
    log_reader_fuzz) own_seeds=("$root/tests/tools/korin_log") ;;
    esac
    echo "fuzzing $name for ${seconds}s"
    "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$root/build/host-fuzz/" "$corpus" "$seeds" "${own_seeds[@]}" \
        2>"$root/build/host-fuzz/$name.log" || {
        tail -40 "$root/build/host-fuzz/$name.log" >&2
        exit 1
    }
    grep -E "stat::number_of_executed_units|Done" "$root/build/host-fuzz/$name.log" | tail -2
    passed=$((passed + 1))
done
[ "$found" = 1 ] || { echo "run_fuzz: no fuzz targets in $bin" >&2; exit 1; }
echo "fuzz: $passed passed, 0 failed"
