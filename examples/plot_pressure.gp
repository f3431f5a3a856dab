# Draws the sample's conversion, build/pressure.txt (made by scripts/sample), into
# build/pressure.png. From the project root, with gnuplot from Debian's gnuplot-nox:
#   gnuplot examples/plot_pressure.gp
# examples/pressure.png is its picture, committed for the README.
set terminal pngcairo size 900,420 font ",11"
set output "build/pressure.png"
set title "examples/readings.txt converted: 400 readings, 15 s apart, over the leap day"
set xlabel "seconds since the first reading (column 1)"
set ylabel "value × −1000 (column 2)"
set grid
unset key
plot "build/pressure.txt" using 1:2 with lines linewidth 2
