#!/usr/bin/env bash
# Builds Torvix (release) and opens its window; when no display can be opened the program says
# so in one line and prints the report instead.
# Extra arguments go to the program (for example --machine FILE).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTORVIX_TESTS=OFF >/dev/null
cmake --build build-release --target torvix -j "$(nproc)"

exec build-release/src/torvix "$@"
