#!/bin/sh
# Makes the man page rotavue-host.1.gz from the program's own help, so that
# the two cannot drift: help2man turns the program's --help into NAME,
# SYNOPSIS, DESCRIPTION and OPTIONS, and includes a section COMMANDS made
# here from each command's --help, in the order in which the program's help
# lists the commands (all but `help`). In each command's help, the options
# become tagged paragraphs, the indented example an indented line, and the
# rest filled text. The page is compressed without a name or time stamp,
# as Debian ships man pages.
#
#   man-page.sh PROGRAM HELP2MAN OUTPUT.1.gz
set -eu
program=$1
help2man=$2
output=$3
page=${output%.gz}
include=$page.h2m

commands=$("$program" --help |
  awk '/^Subcommands:$/ { listed = 1; next } listed && /^$/ { exit } listed && $1 != "help" { print $1 }')
if [ -z "$commands" ]; then
  echo "man-page.sh: $program --help lists no commands" >&2
  exit 1
fi

{
  printf '%s\n' '[COMMANDS]' \
    'Each command has its own help, shown by \fBrotavue\-host help\fR \fICOMMAND\fR:'
  for command in $commands; do
    printf '.SS %s\n' "$command"
    "$program" "$command" --help | awk '
      function roff(text) {
        gsub(/\\/, "\\e", text)
        gsub(/-/, "\\-", text)
        if (text ~ /^[.'\'']/) text = "\\&" text
        return text
      }
      NR == 1 { print roff($0); next }
      /^$/ { print ".PP"; next }
      /^(Usage|Exit status):/ { print ".PP"; print roff($0); next }
      /^[^ ].*:$/ { print ".PP"; print "\\fB" roff($0) "\\fR"; next }
      /^  [^ ]/ && match($0, /^  [^ ]+( [^ ]+)*   */) {
        tag = substr($0, 3, RLENGTH - 2)
        sub(/ +$/, "", tag)
        print ".TP"
        print "\\fB" roff(tag) "\\fR"
        print roff(substr($0, RLENGTH + 1))
        next
      }
      /^      / { sub(/^ +/, ""); print roff($0); next }
      /^  [^ ]/ { sub(/^ +/, ""); print ".IP"; print roff($0); next }
      { print roff($0) }'
  done
} >"$include"

"$help2man" --no-info --section=1 --name="move an image rotation from scripts, and check folders" \
  --include="$include" --output="$page" "$program"
gzip -9nf "$page"
