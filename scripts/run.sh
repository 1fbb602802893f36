#!/usr/bin/env bash
# Builds Torvix (release) and opens its window; without a display it prints the report.
# Extra arguments go to the program (for example --machine FILE).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTORVIX_TESTS=OFF >/dev/null
cmake --build build-release --target torvix -j "$(nproc)"

binary=build-release/src/torvix
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
    echo "run.sh: no display (DISPLAY and WAYLAND_DISPLAY are unset); printing the report instead" >&2
    exec "$binary" --report "$@"
fi
exec "$binary" "$@"
