# The log-log picture of bench/scaling.dat: CPU time of the first and of a
# further frequency, and peak memory, against the unknowns, for both
# solvers, with the exponents of power laws fitted to the three largest
# meshes of each.  Run from the project's root: gnuplot bench/plot_scaling.gp
set terminal pngcairo size 900,900 font ",11"
set output "bench/scaling.png"
set logscale xy
set grid xtics ytics mxtics mytics
set key outside bottom center horizontal
set fit quiet logfile "/dev/null"
f_s(x) = a_s * x**b_s
f_m(x) = a_m * x**b_m
g_s(x) = c_s * x**d_s
g_m(x) = c_m * x**d_m
a_s = 1e-6; b_s = 1.5; a_m = 1e-6; b_m = 1.2; c_s = 1e-3; d_s = 1.2; c_m = 1e-3; d_m = 1.1
# The three largest meshes of each solver (rows are in rising size).
large_s = "< awk '$1 == \"builtin\"' bench/scaling.dat | tail -3"
large_m = "< awk '$1 == \"mumps\"' bench/scaling.dat | tail -3"
fit log(f_s(x)) large_s using 3:(log($4)) via a_s, b_s
fit log(f_m(x)) large_m using 3:(log($4)) via a_m, b_m
fit log(g_s(x)) large_s using 3:(log($6)) via c_s, d_s
fit log(g_m(x)) large_m using 3:(log($6)) via c_m, d_m
set multiplot layout 2,1 title "Scaling of one frequency with the mesh (upscale_sweep -j 1)" noenhanced
set ylabel "CPU time (s)"
plot "< awk '$1 == \"builtin\"' bench/scaling.dat" using 3:4 with linespoints pt 7 lw 2 \
       title sprintf("built-in, first frequency (n^{%.2f})", b_s), \
     "< awk '$1 == \"builtin\"' bench/scaling.dat" using 3:5 with linespoints pt 6 lw 1 dt 2 \
       title "built-in, further frequency", \
     "< awk '$1 == \"mumps\"' bench/scaling.dat" using 3:4 with linespoints pt 5 lw 2 \
       title sprintf("MUMPS, first frequency (n^{%.2f})", b_m), \
     "< awk '$1 == \"mumps\"' bench/scaling.dat" using 3:5 with linespoints pt 4 lw 1 dt 2 \
       title "MUMPS, further frequency"
set xlabel "unknowns n"
set ylabel "peak memory (MB)"
plot "< awk '$1 == \"builtin\"' bench/scaling.dat" using 3:6 with linespoints pt 7 lw 2 \
       title sprintf("built-in (n^{%.2f})", d_s), \
     "< awk '$1 == \"mumps\"' bench/scaling.dat" using 3:6 with linespoints pt 5 lw 2 \
       title sprintf("MUMPS (n^{%.2f})", d_m)
unset multiplot
print sprintf("fitted exponents: time built-in %.2f, MUMPS %.2f; memory built-in %.2f, MUMPS %.2f", b_s, b_m, d_s, d_m)
