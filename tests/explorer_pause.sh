#!/bin/sh
# quondel.exe in a console of its own, as Explorer starts it for a dropped file (Wine gives one
# to a program started from a terminal): the run ends with the closing line, then waits for
# Enter before the window would close.
# Usage: explorer_pause.sh QUONDEL_EXE EXAMPLES EMULATOR
set -eu
quondel=$(realpath "$1") examples=$(realpath "$2") emulator=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$examples/doll.lzh" "$work/"
cd "$work"
# Explorer names the dropped file with its whole path. Enter is pressed each second (the
# console drops what comes before it is ready) until the run ends.
for i in $(seq 60); do sleep 1 && printf '\r' || exit 0; done |
  timeout 90 script -qec "$emulator $quondel -s all Z:$work/doll.lzh" /dev/null >screen
# The console is drawn with escape sequences, a space sometimes as a cursor move.
text=$(sed 's/\x1b\[[?0-9;]*[A-Za-z]//g' screen | tr -d ' \r\n')
case $text in
  *"2pictureswrittenin"*",thefirstdoll.gif.PressEntertoclosethiswindow."*) ;;
  *) echo "no closing line and pause: $text" >&2 && exit 1 ;;
esac
[ -f doll-1.gif ] && [ -f doll.gif ]
