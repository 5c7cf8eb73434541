#!/bin/sh
# Runs a Windows test program on a picture folder that holds a sub-folder no
# one may read. Root reads every folder, so when run as root the program runs
# without the capabilities that allow it; Wine then meets the folder as
# Windows meets one whose access is denied.
#
#   unreadable-folder.sh WINE_RUN PROGRAM [ARGUMENTS...]
set -eu
wine_run=$1
program=$2
shift 2
tree=$(mktemp -d)
trap 'chmod -R u+rwx "$tree"; rm -rf "$tree"' EXIT
mkdir "$tree/locked"
touch "$tree/a.jpg" "$tree/b.png" "$tree/c.gif" "$tree/notes.txt" "$tree/locked/inner.jpg"
# Writable and searchable, but not readable: its listing is denied, while its
# attribute word stays a plain folder's (Wine shows a folder without write
# permission as read-only).
chmod 300 "$tree/locked"
ROTAVUE_UNREADABLE_TREE="Z:$(printf '%s' "$tree" | tr '/' '\\')"
export ROTAVUE_UNREADABLE_TREE
if [ "$(id -u)" -eq 0 ]; then
  set -- setpriv --inh-caps=-dac_override,-dac_read_search \
    --bounding-set=-dac_override,-dac_read_search "$wine_run" "$program" "$@"
else
  set -- "$wine_run" "$program" "$@"
fi
"$@"
