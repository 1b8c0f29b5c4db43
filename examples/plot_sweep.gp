# Draws the dispersion and attenuation curves of a frequency sweep.
# Run it in the directory of the sweep (where frequency_sweep.dat was
# written):
#   gnuplot /path/to/examples/plot_sweep.gp
# or, with the sample's name in the title,
#   gnuplot -e "name='permafrost_layered'" /path/to/examples/plot_sweep.gp
# It writes frequency_sweep.png: above, the phase velocity against
# frequency; below, 1000/Q; both with the analytic plane-wave reference of
# the last cell (vp1, 1000/qp1) for comparison.  Columns of the table:
#   1 frequency (Hz)   2 omega   3 velocity (m/s)   4 1000/Q
#   5-6 Re, Im c33   7-8 Re, Im mstar   9 vp1 (m/s)   10 1000/qp1
set terminal pngcairo size 800,800 font ",11"
set output "frequency_sweep.png"
set logscale x
set format x "10^{%L}"
set grid xtics ytics
set key top left
if (!exists("name")) name = "the sample"
set multiplot layout 2,1 title "Frequency sweep of ".name noenhanced
set ylabel "phase velocity (m/s)"
plot "frequency_sweep.dat" using 1:3 with linespoints pt 7 ps 0.8 lw 2 title "finite elements (c33)", \
     "" using 1:9 with lines dt 2 lw 2 title "plane wave vp1 (last cell)"
set xlabel "frequency (Hz)"
set ylabel "1000/Q"
plot "frequency_sweep.dat" using 1:4 with linespoints pt 7 ps 0.8 lw 2 title "finite elements (c33)", \
     "" using 1:10 with lines dt 2 lw 2 title "plane wave 1000/qp1 (last cell)"
unset multiplot
