# Draws the mean curves of a study with their 5-95 % band.  Run it in the
# study's OUTPUT directory (where study_summary.dat was written):
#   gnuplot /path/to/examples/plot_study.gp
# or, with the study's name in the title,
#   gnuplot -e "name='study_permafrost'" /path/to/examples/plot_study.gp
# It writes study_curves.png: above, the phase velocity against frequency;
# below, 1000/Q; each the mean over the realisations, the median, and the
# band between the 5th and the 95th percentiles.  The title names the
# modulus and the load of the sweeps (from the study's study_plan) and the
# number n of realisations.  Columns, by their header names
# (common/table_header.hpp): frequency_Hz, n,
#   velocity_{mean,p5,p50,p95}_m_per_s, thousand_over_Q_{mean,p5,p50,p95}
set terminal pngcairo size 800,800 font ",11"
set output "study_curves.png"
set logscale x
set format x "10^{%L}"
set grid xtics ytics
set key top left
if (!exists("name")) name = "the study"
stats "study_summary.dat" using "n" nooutput
n = int(STATS_max)
plan_value(key, default) = system("awk '$1 == \"".key."\" { print $2; found = 1 } END { if (!found) print \"".default."\" }' study_plan 2>/dev/null || echo ".default)
modulus = plan_value("modulus", "work")
load = plan_value("load", "periodic")
modulus_name = modulus eq "work" ? "Mw (work-conjugate)" : modulus
# The percentiles interpolate between order statistics: with n <= 21 the
# 5th lies between the two lowest values and the 95th between the two
# highest, so the band is nearly the range of the realisations.
band = n <= 21 ? sprintf("5-95 %% (n = %d: about the min-max range)", n) : "5-95 % of the realisations"
set multiplot layout 2,1 title sprintf("%s: %s, %s load, n = %d realisations", name, modulus_name, load, n) noenhanced
set ylabel "phase velocity (m/s)"
plot "study_summary.dat" using 1:"velocity_p5_m_per_s":"velocity_p95_m_per_s" with filledcurves fs transparent solid 0.3 noborder lc rgb "#4060c0" title band, \
     "" using 1:"velocity_mean_m_per_s" with linespoints pt 7 ps 0.8 lw 2 lc rgb "#203080" title "mean", \
     "" using 1:"velocity_p50_m_per_s" with lines dt 2 lw 1.5 lc rgb "#203080" title "median"
set xlabel "frequency (Hz)"
set ylabel "1000/Q"
plot "study_summary.dat" using 1:"thousand_over_Q_p5":"thousand_over_Q_p95" with filledcurves fs transparent solid 0.3 noborder lc rgb "#c04040" title band, \
     "" using 1:"thousand_over_Q_mean" with linespoints pt 7 ps 0.8 lw 2 lc rgb "#802020" title "mean", \
     "" using 1:"thousand_over_Q_p50" with lines dt 2 lw 1.5 lc rgb "#802020" title "median"
unset multiplot
