#!/bin/sh
# Runs rotavue-host.exe next on a console, as a user at a terminal does, and
# checks that a name outside ASCII shows there as it is. Wine makes a Unix
# pseudo-terminal the program's console: script(1) gives it one, in a UTF-8
# locale (code page 1252), and the escape sequences that Wine's console
# writes around every write are stripped before the line is compared.
#
#   console-name.sh WINE_RUN PROGRAM
set -eu
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/Café" "$scratch/positions"
: >"$scratch/Café/été.jpg"
windows() { printf 'Z:%s' "$1" | tr '/' '\\'; }
ROTAVUE_WINE_RUN=$1 ROTAVUE_PROGRAM=$2
ROTAVUE_FOLDER=$(windows "$scratch/Café")
ROTAVUE_POSITIONS=$(windows "$scratch/positions")
LC_ALL=en_US.UTF-8 LANG=en_US.UTF-8
export ROTAVUE_WINE_RUN ROTAVUE_PROGRAM ROTAVUE_FOLDER ROTAVUE_POSITIONS LC_ALL LANG
# The command that script runs reads the paths from the environment, so that
# no shell takes their backslashes apart.
script -qec '"$ROTAVUE_WINE_RUN" "$ROTAVUE_PROGRAM" next --nickname console --folder "$ROTAVUE_FOLDER" --dir-path "$ROTAVUE_POSITIONS"' \
  /dev/null </dev/null >"$scratch/terminal"
escape=$(printf '\033')
bell=$(printf '\007')
sed -e "s/$escape][^$bell]*$bell//g" -e "s/$escape\[[0-9;?]*[A-Za-z]//g" -e "s/$escape[()][A-Z0-9]//g" \
  "$scratch/terminal" | tr -d '\r' >"$scratch/shown"
expected="$ROTAVUE_FOLDER\\été.jpg"
if ! grep -qxF "$expected" "$scratch/shown"; then
  printf 'console-name.sh: the console did not show the line %s; it showed:\n' "$expected" >&2
  od -c "$scratch/shown" >&2
  exit 1
fi
printf 'shown on the console: %s\n' "$expected"
