# Draws examples/size_study.png from examples/size_study.dat (written by
# examples/size_study.sh): the mean velocity and 1000/Q of Mw of the patchy
# permafrost statistics against the side of the sample, one curve per
# frequency, periodic sides (solid) and the closed-wall piston (dashed),
# with the standard error of each mean.  Run from the repository's root.
set terminal pngcairo size 1000,800 font ",11"
set output "examples/size_study.png"
set logscale x 2
set xlabel "side of the sample (m); correlation length 0.1 m"
set grid xtics ytics
set key outside right top
data = "examples/size_study.dat"
freqs = system("awk 'NR > 1 && !seen[$3]++ { print $3 }' ".data)
set multiplot layout 2,1 title "Patchy permafrost: the stiffness against the sample's size (32 realisations per point)"
set ylabel "mean velocity of Mw (m/s)"
plot for [i = 1:words(freqs)] sprintf("< awk '$1 == \"periodic\" && $3 == %s' %s", word(freqs, i), data) \
       using 2:4:5 with yerrorlines lc i lw 2 pt 7 title sprintf("%s Hz, periodic", word(freqs, i)), \
     for [i = 1:words(freqs)] sprintf("< awk '$1 == \"piston\" && $3 == %s' %s", word(freqs, i), data) \
       using 2:4:5 with yerrorlines lc i lw 2 dt 2 pt 6 title sprintf("%s Hz, piston", word(freqs, i))
set ylabel "mean 1000/Q of Mw"
plot for [i = 1:words(freqs)] sprintf("< awk '$1 == \"periodic\" && $3 == %s' %s", word(freqs, i), data) \
       using 2:6:7 with yerrorlines lc i lw 2 pt 7 title sprintf("%s Hz, periodic", word(freqs, i)), \
     for [i = 1:words(freqs)] sprintf("< awk '$1 == \"piston\" && $3 == %s' %s", word(freqs, i), data) \
       using 2:6:7 with yerrorlines lc i lw 2 dt 2 pt 6 title sprintf("%s Hz, piston", word(freqs, i))
unset multiplot
