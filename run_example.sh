#!/usr/bin/env bash
# Builds the program and runs one bundled example deck in a directory of its
# own (build/runs/NAME), where the result files are written.
#   ./run_example.sh [NAME]     NAME: a folder of examples/ (default permafrost_layered)
set -euo pipefail
cd "$(dirname "$0")"
name="${1:-permafrost_layered}"
./install_missing.sh
[ -d "examples/$name" ] || { echo "no example named $name in examples/" >&2; exit 2; }
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DUPSCALE_TESTS=OFF > /dev/null
cmake --build build -j2 --target upscale > /dev/null
run="build/runs/$name"
rm -rf "$run" && mkdir -p "$run"
cp examples/"$name"/* "$run"/
cd "$run"
status=0
../../upscale < deck.in > echo.txt || status=$?
echo "exit status $status (40 is a normal end); echo in $run/echo.txt, result files in $run/"
[ "$status" -eq 40 ]
