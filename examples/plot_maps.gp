# Turns the per-cell maps of a run into PNG pictures.
# Run it in the directory of the run (where the maps were written):
#   gnuplot /path/to/examples/plot_maps.gp
# Each map file holds one record "j k value" per cell; every map becomes
# <file>.png, a colour image over the cells (j along x, k along y).
set terminal pngcairo size 700,600
set view map
set size ratio -1
set autoscale xfix
set autoscale yfix
set xlabel "j (cell column)"
set ylabel "k (cell row)"
set palette rgbformulae 33,13,10
maps = "real_strain1_map imag_strain1_map real_strain3_map imag_strain3_map real_stress_map imag_stress_map mod_pressure_p33_ice mod_grad_pressure_p33_ice matnum_p33_gnu binary_ice_gnu.dat xmu1_gnu xmu3_gnu xmu13_gnu xlambda1_gnu xlambda3_gnu b1_gnu b2_gnu xm_gnu d3_gnu b11 b12 b22"
do for [f in maps] {
  if (system("test -s ".f." && echo 1 || echo 0") == 1) {
    set output f.".png"
    set title f noenhanced
    plot f using 1:2:3 with image notitle
  }
}
