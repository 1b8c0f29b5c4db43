# Draws the qP and qSV waves of the effective stiffness of a sweep run with
# --tensor.  Run it in the directory of the sweep (where angle_sweep.dat was
# written):
#   gnuplot /path/to/examples/plot_tensor.gp
# or choose the sample's name, the frequencies of the angle curves and the
# angles of the frequency curves:
#   gnuplot -e "name='shaley_layered'; freqs='0.1 10 1000'; angles='0 45 90'" plot_tensor.gp
# A chosen frequency is drawn at the table's nearest frequency (by log f);
# an angle must be one of the table's.  Without choices: the first, middle
# and last frequency of the table, and the angles 0, 45 and 90 degrees.
# It writes angle_sweep.png: left, the velocity and 1000/Q of qP and qSV
# against the angle from the vertical; right, the same against frequency.
# Columns of angle_sweep.dat (its header line names them; the awk filters
# below skip it):
#   1 frequency (Hz)  2 angle (deg)  3-4 qP velocity, 1000/Q  5-6 qSV velocity, 1000/Q
#   7-10 with --error-estimate: the estimated errors of 3-6 (velocities
#        relative, 1000/Q absolute), drawn as error bars
# The angles run to 90 degrees, or to 180 under periodic sides.  The
# frequencies that frequency_sweep.dat (beside it) flags "unresolved" are
# ringed on the curves against frequency.
set terminal pngcairo size 1100,1400 font ",11"
set output "angle_sweep.png"
set grid xtics ytics
set key outside bottom center horizontal
if (!exists("name")) name = "the sample"

table_freqs = system("awk 'NR > 1 && !seen[$1]++ { print $1 }' angle_sweep.dat")
n = words(table_freqs)
if (!exists("freqs")) freqs = word(table_freqs, 1)." ".word(table_freqs, (n + 1) / 2)." ".word(table_freqs, n)
if (!exists("angles")) angles = "0 45 90"
# The table's frequency nearest to f (by log f), as the table writes it.
nearest(f) = system(sprintf("awk -v f=%.17g 'NR > 1 { d = log($1 / f); if (d < 0) d = -d; if (best == \"\" || d < bd) { best = $1; bd = d } } END { print best }' angle_sweep.dat", f))
array chosen[words(freqs)]
do for [i = 1:words(freqs)] { chosen[i] = nearest(real(word(freqs, i))) }
at_frequency(f) = sprintf("< awk 'NR > 1 && $1 == %s' angle_sweep.dat", f)
at_angle(a) = sprintf("< awk 'NR > 1 && $2 == %s' angle_sweep.dat", a)
last_angle = real(system("awk 'NR > 1 && $2 > m { m = $2 } END { print m }' angle_sweep.dat"))
estimates = (system("head -1 angle_sweep.dat | grep -c estimate_qP_vel") + 0 > 0)
flagged = (system("test -f frequency_sweep.dat && head -1 frequency_sweep.dat | grep -c flags") + 0 > 0)
unresolved_at_angle(a) = sprintf("< awk 'NR == FNR { if ($NF ~ /unresolved/) u[$1] = 1; next } FNR > 1 && ($1 in u) && $2 == %s' frequency_sweep.dat angle_sweep.dat", a)
# The error bar of column c: velocities carry a relative estimate.
bar(c) = (c == 3 || c == 5) ? column(c) * column(c + 4) : column(c + 4)

set multiplot layout 4,2 title "qP and qSV waves of the effective stiffness of ".name noenhanced
do for [row = 1:4] {
  column = row + 2
  label = word("qP_velocity_(m/s) qP_1000/Q qSV_velocity_(m/s) qSV_1000/Q", row)
  label = system("echo '".label."' | tr _ ' '")
  # Against the angle, one curve per chosen frequency.
  set xlabel "angle from the vertical (degrees)"
  unset logscale x
  set xrange [0:last_angle]
  set xtics 0, 15, last_angle
  set format x "%g"
  set ylabel label
  if (estimates) {
    plot for [i = 1:words(freqs)] at_frequency(chosen[i]) using 2:column:(bar(column)) with yerrorlines pt 7 ps 0.6 lw 2 \
         title sprintf("%.3g Hz", real(chosen[i]))
  } else {
    plot for [i = 1:words(freqs)] at_frequency(chosen[i]) using 2:column with linespoints pt 7 ps 0.6 lw 2 \
         title sprintf("%.3g Hz", real(chosen[i]))
  }
  # Against frequency, one curve per chosen angle.
  set xlabel "frequency (Hz)"
  set autoscale x
  set xtics autofreq
  set logscale x
  set format x "10^{%L}"
  if (flagged) {
    plot for [i = 1:words(angles)] at_angle(word(angles, i)) using 1:column with linespoints pt 7 ps 0.6 lw 2 \
         title sprintf("%s degrees", word(angles, i)), \
         for [i = 1:words(angles)] unresolved_at_angle(word(angles, i)) using 1:column with points pt 6 ps 2 lc rgb "red" \
         title (i == 1 ? "mesh does not resolve" : "")
  } else {
    plot for [i = 1:words(angles)] at_angle(word(angles, i)) using 1:column with linespoints pt 7 ps 0.6 lw 2 \
         title sprintf("%s degrees", word(angles, i))
  }
}
unset multiplot
