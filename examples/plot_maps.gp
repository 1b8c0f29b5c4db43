# Turns the per-cell maps of a run into PNG pictures.
# Run it in the directory of the run (where the maps were written):
#   gnuplot /path/to/examples/plot_maps.gp
# Each map file holds one record "j k value" per cell; every map becomes
# <file>.png, a colour image over the cells (j along x, k along y) whose
# colour bar carries the quantity and its unit.  phiw_used.dat is the
# water proportion each cell used (from the ice map, the patchy map or its
# layer's phi_layer).  The gradient of the pressure is defined on the
# interior cells only; upscale writes the gradient of cell (j, k) under the
# record "j-1 k-1", so it is drawn one cell up and right, at its own cell.
set terminal pngcairo size 700,600
set view map
set size ratio -1
set xlabel "j (cell column)"
set ylabel "k (cell row)"
set palette rgbformulae 33,13,10
# file, then its colour bar label (words joined by "_", shown with blanks).
maps = "real_strain1_map Re_strain_of_solid_1_(1) imag_strain1_map Im_strain_of_solid_1_(1) " . \
       "real_strain3_map Re_strain_of_solid_3_(1) imag_strain3_map Im_strain_of_solid_3_(1) " . \
       "real_stress_map Re_vertical_stress_(Pa) imag_stress_map Im_vertical_stress_(Pa) " . \
       "mod_pressure_p33_ice |fluid_pressure|_(Pa) mod_grad_pressure_p33_ice |grad_fluid_pressure|_(Pa/m) " . \
       "matnum_p33_gnu layer_type_(1_or_2) binary_ice_gnu.dat ice_map:_water_proportion_(volume_fraction) " . \
       "phiw_binary_patchy.dat patchy_map:_water_proportion_(volume_fraction) " . \
       "phiw_used.dat water_proportion_used_(volume_fraction) " . \
       "xmu1_gnu mu1_(Pa) xmu3_gnu mu3_(Pa) xmu13_gnu mu13_(Pa) xlambda1_gnu lambda1_(Pa) xlambda3_gnu lambda3_(Pa) " . \
       "b1_gnu B1_(Pa) b2_gnu B2_(Pa) xm_gnu M_(Pa) d3_gnu d3_(Pa) " . \
       "b11 friction_b11_(Pa_s/m^2) b12 friction_b12_(Pa_s/m^2) b22 friction_b22_(Pa_s/m^2)"
label_of(text) = system("echo '" . text . "' | tr _ ' '")
do for [i = 1:words(maps):2] {
  f = word(maps, i)
  if (system("test -s " . f . " && echo 1 || echo 0") == 1) {
    shift = (f eq "mod_grad_pressure_p33_ice") ? 1 : 0
    set output f . ".png"
    set title f noenhanced
    set cblabel label_of(word(maps, i + 1)) noenhanced
    set autoscale xfix
    set autoscale yfix
    plot f using ($1 + shift):($2 + shift):3 with image notitle
  }
}
