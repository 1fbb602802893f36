#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer and UndefinedBehaviorSanitizer, in
# build-fuzz) and runs each for SECONDS (default 20) from its seed corpus in fuzz/corpus/.
# Prints each target's execution count; exits non-zero when anything fails to build or any
# target finds a crash, a hang or a leak (the input is kept in build-fuzz/artifacts/).
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
shift || true
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [[ "$seconds" -eq 0 ]]; then
    echo "fuzz.sh: SECONDS must be a positive whole number, not \"$seconds\"" >&2
    exit 2
fi

bash scripts/install-deps.sh || exit 1

dir=build-fuzz
mkdir -p "$dir"
echo "== $dir: configure and build"
if ! CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTORVIX_FUZZ=ON -DTORVIX_TESTS=OFF >"$dir/configure.log" 2>&1; then
    cat "$dir/configure.log"
    exit 1
fi
cmake --build "$dir" -j "$(nproc)" --target fuzzers || exit 1

targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
    mapfile -t targets < <(cd fuzz/corpus && ls -1)
fi

export LC_ALL=C.UTF-8
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
status=0
mkdir -p "$dir/artifacts"
for t in "${targets[@]}"; do
    exe="$dir/fuzz/$t"
    if [[ ! -x "$exe" ]]; then
        echo "fuzz.sh: no target $t" >&2
        status=1
        continue
    fi
    # New inputs go to a working corpus; the seeds in the repository stay as they are.
    work="$dir/corpus/$t"
    mkdir -p "$work"
    log="$dir/$t.log"
    "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$dir/artifacts/$t-" "$work" "fuzz/corpus/$t" >"$log" 2>&1
    rc=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    if [[ $rc -eq 0 ]]; then
        printf '%-28s %12s executions  ok\n' "$t" "${execs:-?}"
    else
        printf '%-28s %12s executions  FAILED (exit %d, see %s)\n' "$t" "${execs:-?}" "$rc" "$log"
        grep -E '^(==[0-9]+==ERROR|SUMMARY|fuzz check failed|.*runtime error)|artifact_prefix|Test unit written' \
            "$log" | head -20
        status=1
    fi
done
exit $status
