# Draws the dispersion and attenuation curves of a frequency sweep.
# Run it in the directory of the sweep (where frequency_sweep.dat was
# written):
#   gnuplot /path/to/examples/plot_sweep.gp
# or, with the sample's name in the title,
#   gnuplot -e "name='shaley_layered'" /path/to/examples/plot_sweep.gp
# It writes frequency_sweep.png: above, the phase velocity of the
# work-conjugate modulus Mw against frequency; below, its 1000/Q.  For a
# layered sample (the table then has the exact columns) it adds the exact
# one-dimensional solution and the relaxed and unrelaxed limits of
# sweep_limits.dat.  The test's name comes from the sweep's summary when it
# was kept in sweep_summary.txt (as run_sweep.sh does).  Columns are read
# by their header names (common/table_header.hpp):
#   frequency_Hz, velocity_w_m_per_s, thousand_over_Q_w,
#   velocity_w_exact_m_per_s, thousand_over_Q_w_exact,
#   error_estimate_thousand_over_Q_w, flags
set terminal pngcairo size 800,800 font ",11"
set output "frequency_sweep.png"
set logscale x
set format x "10^{%L}"
set grid xtics ytics
set key outside bottom center horizontal
if (!exists("name")) name = "the sample"

# The columns, found by their header names: the exact ones for a layered
# sample, the estimated error of 1000/Q with --error-estimate, the flags.
column_of(name) = int(system("awk 'NR == 1 { for (i = 1; i <= NF; ++i) if ($i == \"".name."\") print i; exit }' frequency_sweep.dat"))
layered = (system("head -1 frequency_sweep.dat | grep -c Mw_exact") + 0 > 0)
q_error = (system("head -1 frequency_sweep.dat | grep -c error_estimate_thousand_over_Q_w") + 0 > 0) ? column_of("error_estimate_thousand_over_Q_w") : 0
flags = column_of("flags")
# A row whose diffusion length spans fewer than 3 cells, or whose estimated
# error of 1000/Q exceeds 10 %, is flagged "unresolved": marked with a ring.
unresolved(v) = (strstrt(strcol(flags), "unresolved") > 0) ? v : NaN
test_name = "periodic"
if (system("test -f sweep_summary.txt && echo yes") eq "yes") {
  test_name = system("awk '/^ test: periodic/ { print \"periodic\"; exit } /^ top load:/ { print $3; exit }' sweep_summary.txt")
}
relaxed = NaN
unrelaxed = NaN
if (layered && system("test -f sweep_limits.dat && echo yes") eq "yes") {
  relaxed = real(system("awk '$1 == \"relaxed\" { print $3 }' sweep_limits.dat"))
  unrelaxed = real(system("awk '$1 == \"unrelaxed\" { print $3 }' sweep_limits.dat"))
}

set multiplot layout 2,1 title "Frequency sweep of ".name." (".test_name." test, modulus Mw)" noenhanced
set ylabel "phase velocity of Mw (m/s)"
if (layered) {
  plot "frequency_sweep.dat" using 1:"velocity_w_m_per_s" with linespoints pt 7 ps 0.8 lw 2 title "finite elements", \
       "" using 1:"velocity_w_exact_m_per_s" with lines lw 2 dt 2 title "exact (1-D)", \
       relaxed with lines lc rgb "black" dt 3 lw 1.5 title "relaxed limit", \
       unrelaxed with lines lc rgb "gray40" dt 4 lw 1.5 title "unrelaxed limit", \
       "" using 1:(unresolved(column("velocity_w_m_per_s"))) with points pt 6 ps 2.2 lc rgb "red" title "mesh does not resolve"
} else {
  plot "frequency_sweep.dat" using 1:"velocity_w_m_per_s" with linespoints pt 7 ps 0.8 lw 2 title "finite elements", \
       "" using 1:(unresolved(column("velocity_w_m_per_s"))) with points pt 6 ps 2.2 lc rgb "red" title "mesh does not resolve"
}
set xlabel "frequency (Hz)"
set ylabel "1000/Q of Mw (1000 Im Mw / Re Mw)"
fe = "finite elements"
if (q_error > 0) fe = "finite elements, estimated error"
if (layered && q_error > 0) {
  plot "frequency_sweep.dat" using 1:"thousand_over_Q_w":(column(q_error)) with yerrorlines pt 7 ps 0.8 lw 2 title fe, \
       "" using 1:"thousand_over_Q_w_exact" with lines lw 2 dt 2 title "exact (1-D)", \
       "" using 1:(unresolved(column("thousand_over_Q_w"))) with points pt 6 ps 2.2 lc rgb "red" title "mesh does not resolve"
} else {
  if (layered) {
    plot "frequency_sweep.dat" using 1:"thousand_over_Q_w" with linespoints pt 7 ps 0.8 lw 2 title fe, \
         "" using 1:"thousand_over_Q_w_exact" with lines lw 2 dt 2 title "exact (1-D)", \
         "" using 1:(unresolved(column("thousand_over_Q_w"))) with points pt 6 ps 2.2 lc rgb "red" title "mesh does not resolve"
  } else {
    if (q_error > 0) {
      plot "frequency_sweep.dat" using 1:"thousand_over_Q_w":(column(q_error)) with yerrorlines pt 7 ps 0.8 lw 2 title fe, \
           "" using 1:(unresolved(column("thousand_over_Q_w"))) with points pt 6 ps 2.2 lc rgb "red" title "mesh does not resolve"
    } else {
      plot "frequency_sweep.dat" using 1:"thousand_over_Q_w" with linespoints pt 7 ps 0.8 lw 2 title fe, \
           "" using 1:(unresolved(column("thousand_over_Q_w"))) with points pt 6 ps 2.2 lc rgb "red" title "mesh does not resolve"
    }
  }
}
unset multiplot
