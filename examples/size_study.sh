#!/usr/bin/env bash
# The size of a representative sample: the patchy permafrost statistics of
# the example study (cells of 8 % or 20 % water, 30 % of them the wetter,
# exponential correlation of 0.1 m, cells of 1/30 m) on square samples of
# 1, 2, 4, 8, 16 and 32 correlation lengths per side, each under periodic sides and
# under the closed-wall piston, 32 realisations per size.  Writes
# examples/size_study.dat (one row per test, size and frequency: the mean
# velocity and 1000/Q of Mw over the realisations, with the standard error
# of each mean) and draws examples/size_study.png.
#   examples/size_study.sh [-j N]
set -euo pipefail
cd "$(dirname "$0")/.."
./install_missing.sh study gnuplot
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DUPSCALE_TESTS=OFF > /dev/null
cmake --build build -j2 --target upscale_maps upscale_sweep upscale_study_runner > /dev/null
work=build/size_study
rm -rf "$work" && mkdir -p "$work"
out=examples/size_study.dat
# The header after common/table_header.hpp: names only, each ending with its unit.
printf '  %-10s %10s %14s %22s %21s %21s %20s\n' "test" "side_m" "frequency_Hz" "velocity_mean_m_per_s" \
  "velocity_sem_m_per_s" "thousand_over_Q_mean" "thousand_over_Q_sem" > "$out"
for cells in 3 6 12 24 48 96; do
  side=$(awk -v c="$cells" 'BEGIN { printf "%.10g", c / 30 }')
  for load in periodic piston; do
    dir="$work/${load}_$cells"
    mkdir -p "$dir/case"
    # The example's case deck on an nx = ny = cells mesh of the same cell.
    awk -v side="$side" -v cells="$cells" \
      'NR == 4 { $1 = side } NR == 5 || NR == 6 || NR == 10 { $1 = cells } { print }' \
      examples/study_permafrost/case/deck.in > "$dir/case/deck.in"
    cat > "$dir/study.txt" <<STUDY
case         = case
realisations = 32
seed         = 1
maps         = --kind binary --fraction 0.3 --values 0.08 0.2 --correlation 0.1 0.1 --covariance exponential --file ice
fmin         = 0.01
fmax         = 100.0
nfreq        = 5
load         = $load
STUDY
    build/upscale_study "$dir/study.txt" "$@" > "$dir/study.log"
    # Columns of the summary: frequency, n, velocity mean, std, ..., 1000/Q mean (8), std (9).
    awk -v load="$load" -v side="$side" 'FNR > 1 {
      printf "  %-10s %10s %14s %22.10g %21.4g %21.6g %20.4g\n", load, side, $1, $3, $4 / sqrt($2), $8, $9 / sqrt($2)
    }' "$dir/study/study_summary.dat" >> "$out"
  done
done
gnuplot examples/plot_size_study.gp
echo "table in $out, figure in examples/size_study.png"
