#!/usr/bin/env bash
# Builds Torvix twice and runs every test on each build: a normal debug build (build-test) and
# one with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan). Exits non-zero when
# anything fails to build or any test fails.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh || exit 1

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
status=0

run_suite() {
    local dir=$1
    shift
    echo "== $dir: configure and build"
    if ! cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug "$@" >"$dir/configure.log" 2>&1; then
        cat "$dir/configure.log"
        return 1
    fi
    cmake --build "$dir" -j "$jobs" || return 1
    echo "== $dir: tests"
    (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 300)
}

mkdir -p build-test build-asan
run_suite build-test || status=1

# Qt keeps some allocations until exit on purpose; leak reports would only show those.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
run_suite build-asan -DTORVIX_SANITIZE=ON || status=1

exit $status
