#!/usr/bin/env bash
# Builds the study programs and runs the bundled example study on this
# machine (examples/study_permafrost/study.txt: 24 realisations of a patchy
# permafrost sample, 13 frequencies each), then draws the mean curves with
# their 5-95 % band into study_curves.png beside the summary.
#   ./run_study.sh [-j N]
# A rerun skips the realisations already complete.
set -euo pipefail
cd "$(dirname "$0")"
./install_missing.sh study gnuplot
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DUPSCALE_TESTS=OFF > /dev/null
cmake --build build -j2 --target upscale_maps upscale_sweep upscale_study_runner > /dev/null
build/upscale_study examples/study_permafrost/study.txt "$@"
cd examples/study_permafrost/study
gnuplot -e "name='study_permafrost'" ../../plot_study.gp
echo "summary in examples/study_permafrost/study/study_summary.dat, curves in examples/study_permafrost/study/study_curves.png"
