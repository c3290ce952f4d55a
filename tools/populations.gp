# The populations of a tundrel-sim run over time, from its --csv table, as a PNG:
#   gnuplot -e "csv='populations.csv'; png='populations.png'" tools/populations.gp
# Herbivores and predators on the left axis; the flakes in the air, in thousands, on the right.
if (!exists("csv") || !exists("png")) {
  print "usage: gnuplot -e \"csv='TABLE.csv'; png='PICTURE.png'\" tools/populations.gp"
  exit status 2
}
set datafile separator ","
set terminal pngcairo size 1000,460 font "DejaVu Sans,10"
set output png
set title "Tundrel: the populations over time"
set xlabel "simulated minutes"
set ylabel "animals"
set y2label "airborne snowflakes (thousands)"
set ytics nomirror
set y2tics
set y2range [0:*]
set yrange [0:*]
set key top left
set grid ytics
plot csv using ($1 / 60):3 skip 1 with lines linewidth 2 linecolor rgb "#2e7d32" title "herbivores", \
     csv using ($1 / 60):4 skip 1 with lines linewidth 2 linecolor rgb "#c62828" title "predators", \
     csv using ($1 / 60):($5 / 1000) skip 1 axes x1y2 with lines linecolor rgb "#90a4ae" dashtype 2 title "airborne flakes"
