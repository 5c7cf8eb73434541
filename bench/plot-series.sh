#!/usr/bin/env bash
# Remakes the plot of docs/performance.md: a refresh's time as a share of a
# bare walk of the same tree, by the place of the stored image (GetImage,
# with and without the walks' shortcuts) or of the random pick
# (GetRandomImage) in the walk order of the benchmark's nested tree, with
# GetShuffledImage, which walks the whole tree wherever its pick lies. Runs the
# native benchmark's --series, unless a file of its output is given, keeps
# that output in docs/performance-series.txt and draws docs/performance.png
# from it with gnuplot (apt-get install gnuplot-nox).
#
#   cmake --build --preset native --target rotavue-bench && bench/plot-series.sh
#   bench/plot-series.sh SERIES_FILE      (only redraw, from a saved output)
set -euo pipefail
cd "$(dirname "$0")/.."
data=docs/performance-series.txt
plot=docs/performance.png

if [ $# -gt 0 ]; then
  [ "$(realpath "$1")" = "$(realpath -m "$data")" ] || cp "$1" "$data"
else
  build/native/rotavue-bench --series --rounds 25 >"$data.new"
  mv "$data.new" "$data"
fi
title=$(sed -n '1s/^# \([^:]*\):.*/\1/p' "$data")

gnuplot <<EOF
set terminal pngcairo size 900,540 font "sans,11"
set output "$plot"
set title "One refresh against a bare walk of the tree ($title)"
set xlabel "place of the stored image (GetImage) or of the pick (GetRandomImage) in the walk order, %"
set ylabel "refresh time / bare walk time"
set logscale y
set yrange [0.002:4]
set ytics ("0.003" 0.003, "0.01" 0.01, "0.03" 0.03, "0.1" 0.1, "0.3" 0.3, "1" 1, "3" 3)
set xrange [0:100]
set xtics 10
set grid
set key bottom right
plot "$data" using 1:2 with linespoints pt 7 title "GetImage, plain walk (no shortcuts)", \
     "$data" using 1:3 with linespoints pt 5 title "GetImage, short walk", \
     "$data" using 1:4 with linespoints pt 9 title "GetRandomImage", \
     "$data" using 1:5 with linespoints pt 11 title "GetShuffledImage (no place: the whole tree)", \
     1 with lines dt 2 lc "black" notitle
EOF
echo "$plot: drawn from $data"
