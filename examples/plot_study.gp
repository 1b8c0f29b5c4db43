# Draws the mean curves of a study with their 5-95 % band.  Run it in the
# study's OUTPUT directory (where study_summary.dat was written):
#   gnuplot /path/to/examples/plot_study.gp
# or, with the study's name in the title,
#   gnuplot -e "name='study_permafrost'" /path/to/examples/plot_study.gp
# It writes study_curves.png: above, the phase velocity against frequency;
# below, 1000/Q; each the mean over the realisations, the median, and the
# band between the 5th and the 95th percentiles.  Columns of the summary:
#   1 frequency (Hz)   2 realisations
#   3-7  velocity (m/s): mean, standard deviation, 5th, 50th, 95th percentile
#   8-12 1000/Q:         mean, standard deviation, 5th, 50th, 95th percentile
set terminal pngcairo size 800,800 font ",11"
set output "study_curves.png"
set logscale x
set format x "10^{%L}"
set grid xtics ytics
set key top left
if (!exists("name")) name = "the study"
stats "study_summary.dat" using 2 nooutput
set multiplot layout 2,1 title sprintf("%s: %d realisations", name, int(STATS_max)) noenhanced
set ylabel "phase velocity (m/s)"
plot "study_summary.dat" using 1:5:7 with filledcurves fs transparent solid 0.3 noborder lc rgb "#4060c0" title "5-95 %", \
     "" using 1:3 with linespoints pt 7 ps 0.8 lw 2 lc rgb "#203080" title "mean", \
     "" using 1:6 with lines dt 2 lw 1.5 lc rgb "#203080" title "median"
set xlabel "frequency (Hz)"
set ylabel "1000/Q"
plot "study_summary.dat" using 1:10:12 with filledcurves fs transparent solid 0.3 noborder lc rgb "#c04040" title "5-95 %", \
     "" using 1:8 with linespoints pt 7 ps 0.8 lw 2 lc rgb "#802020" title "mean", \
     "" using 1:11 with lines dt 2 lw 1.5 lc rgb "#802020" title "median"
unset multiplot
