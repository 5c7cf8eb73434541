#!/bin/sh
# Writes CHANGELOG.md (Keep a Changelog) as the Debian changelog that a
# native package ships as changelog.gz, which Debian's tools read in their
# own format: one entry per version, the newest first. "Unreleased" becomes
# an UNRELEASED entry of the version being built, dated at the build (or at
# $SOURCE_DATE_EPOCH); a release's entry is dated on its day. Each "###"
# group becomes a line naming it, each bullet a "*" item, and every text is
# refilled to 80 columns. Compressed without a name or time stamp.
#
#   debian-changelog.sh CHANGELOG.md VERSION MAINTAINER OUTPUT.gz
set -eu
changelog=$1
version=$2
maintainer=$3
output=$4
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  now=$(date -u -R -d "@$SOURCE_DATE_EPOCH")
else
  now=$(date -u -R)
fi

awk -v version="$version" -v maintainer="$maintainer" -v now="$now" '
  # Prints the text gathered so far, filled to 80 columns, its first line
  # starting with `first` and the others with `rest`.
  function flush(   count, i, line, n, word) {
    if (text == "") return
    n = split(text, word, " ")
    line = first
    count = 0
    for (i = 1; i <= n; i++) {
      if (count > 0 && length(line) + 1 + length(word[i]) > 80) {
        print line
        line = rest
        count = 0
      }
      line = line (count > 0 ? " " : "") word[i]
      count++
    }
    print line
    text = ""
    printed = 1
  }
  function close_entry() {
    flush()
    if (!open) return
    print ""
    print " -- " maintainer "  " date
    open = 0
  }
  /^## \[/ {
    close_entry()
    name = $0
    sub(/^## \[/, "", name)
    sub(/\].*/, "", name)
    day = $0
    if (name == "Unreleased") {
      name = version
      distribution = "UNRELEASED"
      date = now
    } else if (sub(/^## \[[^]]*\] - /, "", day)) {
      distribution = "unstable"
      command = "date -u -R -d " day
      if ((command | getline date) <= 0) {
        print "debian-changelog.sh: no date in: " $0 > "/dev/stderr"
        exit 1
      }
      close(command)
    } else {
      distribution = "unstable"
      date = now
    }
    if (entries++) print ""
    print "rotavue (" name ") " distribution "; urgency=medium"
    print ""
    open = 1
    printed = 0
    next
  }
  !open { next }
  /^### / {
    flush()
    if (printed) print ""
    printed = 1
    group = $0
    sub(/^### +/, "", group)
    print "  " group ":"
    next
  }
  /^$/ { flush(); next }
  /^- / {
    flush()
    first = "  * "
    rest = "    "
    text = substr($0, 3)
    next
  }
  {
    if (text == "") {
      first = "  "
      rest = "  "
    }
    line = $0
    sub(/^ +/, "", line)
    text = text " " line
  }
  END {
    close_entry()
    if (!entries) {
      print "debian-changelog.sh: no version heading (## [...]) found" > "/dev/stderr"
      exit 1
    }
  }' "$changelog" >"${output%.gz}"
gzip -9nf "${output%.gz}"
