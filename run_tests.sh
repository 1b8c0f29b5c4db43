#!/usr/bin/env bash
# Builds the program and its whole test suite, then runs every test.
set -euo pipefail
cd "$(dirname "$0")"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DUPSCALE_TESTS=ON > /dev/null
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2
