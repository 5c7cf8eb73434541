#!/usr/bin/env bash
# Makes the example pictures of examples/pictures/: one tiny real picture per
# name, each of its own solid colour, so that a meter pointed at the folder
# shows real images and a rotation can be seen to move. The names, letter
# cases and folders are the ones the tests and notes.txt rely on; a.jpeg,
# portraits/cover.tiff and b.jpg.bak are real pictures too, of types the
# rotation does not show. Run once by hand (needs ImageMagick:
# apt-get install imagemagick); the pictures are committed. Time stamps and
# comments are left out, so that the same ImageMagick makes the same bytes.
#
#   scripts/make-example-pictures.sh
set -euo pipefail
cd "$(dirname "$0")/../examples/pictures"

# path (relative to examples/pictures), ImageMagick format, colour
while read -r path format colour; do
  size=32x24
  compression=Undefined
  [ "$format" != ICO ] || size=16x16
  [ "$format" != TIFF ] || compression=Zip
  mkdir -p "$(dirname "$path")"
  convert -size "$size" "xc:$colour" -type Palette +set date:create +set date:modify -strip \
    -define png:exclude-chunks=date,time -compress "$compression" "$format:$path"
done <<'EOF'
X.JPG                                 JPG  #d62728
y.Png                                 PNG  #ff7f0e
icons/icon.ico                        ICO  #bcbd22
landscapes/w.bmp                      BMP3 #2ca02c
landscapes/z.gif                      GIF  #17becf
landscapes/coast/dawn.jpg             JPG  #ffb6c1
landscapes/coast/dusk.png             PNG  #7b3294
landscapes/coast/archive/1998.bmp     BMP3 #8c564b
portraits/aunt.jpg                    JPG  #1f77b4
portraits/Uncle.GIF                   GIF  #e377c2
a.jpeg                                JPG  #7f7f7f
b.jpg.bak                             JPG  #c7c7c7
portraits/cover.tiff                  TIFF #393b79
.hidden/private.png                   PNG  #000000
.hidden/secret.jpg                    JPG  #ffffff
EOF
echo "$(find . -type f ! -name notes.txt -exec cat {} + | wc -c) bytes in $(find . -type f ! -name notes.txt | wc -l) pictures"

