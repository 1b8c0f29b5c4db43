#!/usr/bin/env bash
# Regenerates every figure the README shows, from the programs, and stores
# beside each one the data it plotted:
#   examples/figures/NAME.png   the figure
#   examples/figures/NAME/      its tables, the program's summary and, in
#                               run.txt, how it was made
# and, through examples/size_study.sh, examples/size_study.png with
# examples/size_study.dat (the longest part: about 200 small studies).
# tests/python/test_figures.py recomputes a few rows of each figure's data
# (its first and last frequencies, a study of two realisations) and
# compares them with what is stored here, so that a change of default or
# of physics that moves a figure fails the tests until this script is run
# again.
#   examples/make_figures.sh [--without-size-study]
set -euo pipefail
cd "$(dirname "$0")/.."
size_study=yes
case "${1:-}" in
  "") ;;
  --without-size-study) size_study=no ;;
  *) echo "usage: examples/make_figures.sh [--without-size-study]" >&2; exit 2 ;;
esac
./install_missing.sh study gnuplot
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DUPSCALE_TESTS=OFF > /dev/null
fi
cmake --build build -j2 --target upscale_maps upscale_sweep upscale_study_runner > /dev/null
figures=examples/figures
work=build/figures
rm -rf "$work"
mkdir -p "$work" "$figures"

# keep NAME DIR FILE...: the figure DIR/PNG becomes figures/NAME.png and
# the listed files of DIR that exist go to figures/NAME/.
keep() {
  local name=$1 dir=$2 png=$3
  shift 3
  rm -rf "${figures:?}/$name"
  mkdir -p "$figures/$name"
  cp "$dir/$png" "$figures/$name.png"
  for file in "$@"; do
    if [ -f "$dir/$file" ]; then cp "$dir/$file" "$figures/$name/"; fi
  done
}

# sweep_figure NAME EXAMPLE PLOT OPTIONS...: upscale_sweep OPTIONS on the
# bundled example, drawn by examples/PLOT.
sweep_figure() {
  local name=$1 example=$2 plot=$3
  shift 3
  local dir="$work/$name"
  mkdir -p "$dir"
  cp examples/"$example"/* "$dir"/
  echo "$name: upscale_sweep $* < examples/$example/deck.in"
  # The summary without its CPU time, so that the stored data changes only
  # with the results.
  (cd "$dir" && ../../upscale_sweep "$@" < deck.in | grep -v "CPU time" > sweep_summary.txt)
  (cd "$dir" && gnuplot -e "name='$example'" "../../../examples/$plot")
  printf 'example %s\noptions %s\n' "$example" "$*" > "$dir/run.txt"
  local png=frequency_sweep.png
  [ "$plot" = plot_tensor.gp ] && png=angle_sweep.png
  keep "$name" "$dir" "$png" run.txt sweep_summary.txt frequency_sweep.dat sweep_limits.dat \
    effective_stiffness.dat angle_sweep.dat
}

# The layered permafrost sample (every row of cells uniform, so the exact
# solution is drawn beside the finite elements) under each load, and its
# waves against angle under the recommended periodic test.
sweep_figure frequency_sweep_permafrost_strata permafrost_strata plot_sweep.gp -j 2
sweep_figure frequency_sweep_permafrost_strata_piston permafrost_strata plot_sweep.gp -j 2 --load piston
sweep_figure frequency_sweep_permafrost_strata_split permafrost_strata plot_sweep.gp -j 2 --load split
sweep_figure angle_sweep_permafrost_strata permafrost_strata plot_tensor.gp -j 2 --tensor

# The bundled study: 24 patchy permafrost realisations.
name=study_curves_permafrost
dir="$work/$name"
mkdir -p "$dir"
cp -r examples/study_permafrost/* "$dir"/
echo "$name: upscale_study examples/study_permafrost/study.txt"
build/upscale_study "$dir/study.txt" -j 2 > "$dir/study.log"
(cd "$dir/study" && gnuplot -e "name='study_permafrost'" ../../../../examples/plot_study.gp)
# The plan without the paths of this machine; two realisations' tables,
# which the test recomputes.
grep -E "^(realisations|modulus|load|error_estimate|quantity) " "$dir/study/study_plan" > "$dir/study/study_plan.kept"
mv "$dir/study/study_plan.kept" "$dir/study/study_plan"
printf 'study examples/study_permafrost/study.txt\n' > "$dir/study/run.txt"
for r in r0001 r0002; do cp "$dir/study/$r/frequency_sweep.dat" "$dir/study/${r}_frequency_sweep.dat"; done
keep "$name" "$dir/study" study_curves.png run.txt study_plan study_summary.dat r0001_frequency_sweep.dat \
  r0002_frequency_sweep.dat

if [ "$size_study" = yes ]; then
  examples/size_study.sh -j 2
fi
echo "figures in $figures/ (and examples/size_study.png), each with its data beside it"
