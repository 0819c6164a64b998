#!/bin/sh
# Runs each row's command line through the Linux build and a cross-built quondel (under its
# emulator): statuses, messages and every file afterwards must be the same bytes, re-runs
# included. A backslash is the Windows build's separator; the Linux build gets a slash.
# Usage: same_as_linux.sh LINUX_QUONDEL OTHER_QUONDEL [EMULATOR ARGS...]
set -eu
linux=$(realpath "$1") other=$(realpath "$2") examples=$(realpath "$(dirname "$0")/../examples")
real=${QUONDEL_REAL_DOLLS:-$(realpath "$(dirname "$0")/../..")/shared/real-dolls}
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C.UTF-8 # names outside ASCII reach Wine as UTF-8
slashes=cat
case $other in *.exe) slashes="tr \\\\ /" ;; esac
mkdir -p "$work/linux/sub"
cd "$work/linux"
cp "$examples"/*.cel "$examples"/*.kcf "$examples"/doll.cnf sub/
cp sub/*.cel sub/*.kcf .
cp face.cel 顔.cel
sed 's/face.cel/顔.cel/' sub/doll.cnf >人形.cnf
head -c 31 face.cel >short.cel
head -c 40 /dev/zero >other.cel
cp face.cel x.gif
cp face.cel linked.cel
ln linked.cel linked.gif # the output name leads to the input
# A 32-bit cel of 65535 x 65535 pixels (17 GB, sparse) whose last 16 rows lie beyond 4 GiB;
# their first 16 pixels are huge.cnf's playfield, drawn as tail.cnf draws a small cel's.
header() { printf 'KiSS\041\040\0\0'"$1"'\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0'; }
(header '\020\0\020\0' && tail -c +33 shirt.cel | head -c 1024) >tail.cel
header '\377\377\377\377' >huge.cel
if truncate -s $((32 + 262140 * 65535)) huge.cel; then
  for r in $(seq 0 15); do
    tail -c +$((33 + 64 * r)) tail.cel | head -c 64 | dd of=huge.cel bs=64 oflag=seek_bytes \
      seek=$((32 + 262140 * (65519 + r))) conv=notrunc status=none
  done
else
  echo "no room for a sparse 17 GB file: the doll beyond 4 GiB is left out" >&2 && rm huge.cel
fi
for doll in huge:-65519 tail:0; do
  printf '(16,16)\n%%doll.kcf\n#0 %s.cel :0\n$0 0,%s\n' "${doll%:*}" "${doll#*:}" >"${doll%:*}.cnf"
done
rows='sub/doll.kcf sub/face.cel sub/shirt.cel sub/pastel.kcf sub/bow.cel sub/doll.cnf
sub/doll.kcf sub/face.cel sub/shirt.cel sub/pastel.kcf sub/bow.cel sub/doll.cnf
-I doll.kcf face.cel shirt.cel pastel.kcf bow.cel
-z doll.kcf face.cel -I shirt.cel sub/doll.cnf
sub\doll.cnf
doll.kcf 顔.cel 人形.cnf
missing.cel short.cel other.cel x.gif linked.cel sub\missing.cel face.cel
huge.cnf tail.cnf
'
# Archives written by real archivers, image cels written by the libraries' encoders, and the
# real dolls, where the other build reads archives too.
if [ "${FORMAT_LIBS:-ON}" = ON ]; then
  "$(dirname "$linux")/make_examples" --image-cels .
  printf '(48,32)\n%%doll.kcf\n#0 ribbon.png :0 1\n#1 photo.jpg :0 1\n#2 badge.gif :0 1\n' >images.cnf
  printf '#3 tile.bmp :0 1\n#4 顔.cel :0\n$0 0,0 16,0 32,0 0,16 16,16\n$0 16,16 0,0 32,16 0,0\n' >>images.cnf
  zip -q -X pictures.zip images.cnf ribbon.png photo.jpg badge.gif tile.bmp 顔.cel doll.kcf
  (cd sub && jlha c2o5q ../jlha.lzh doll.cnf ./*.cel ./*.kcf >/dev/null)
  rows="$rows"'images.cnf
pictures.zip jlha.lzh
-s all jlha.lzh pictures.zip
'
  if ls "$real"/*.lzh >/dev/null 2>&1; then
    mkdir real && cp "$real"/*.lzh real/
    rows="$rows"'real/*.lzh
-s all real/*.lzh
'
  else
    echo "no real dolls in $real: their rows are left out" >&2
  fi
  mkdir pictures
  rows="$rows"'-o pictures -s all pictures.zip jlha.lzh
-a jlha.lzh real/*.lzh
'
fi
cp -a "$work/linux" "$work/other"
failed=0
while read -r row; do
  # shellcheck disable=SC2086 # the row's words are the arguments
  (cd "$work/linux" && "$linux" $(echo "$row" | $slashes) >../out 2>../err || echo "status $?" >>../out)
  (cd "$work/other" && "$@" "$other" $row >../o-out 2>../o-err || echo "status $?" >>../o-out)
  sed -i 's/^usage: .*quondel\(\.exe\)\{0,1\} \[-I\]/usage: NAME [-I]/' "$work/out" "$work/o-out"
  $slashes <"$work/o-err" >"$work/o-err-slashes"
  if ! cmp -s "$work/out" "$work/o-out" || ! cmp -s "$work/err" "$work/o-err-slashes" ||
    ! diff -r -x huge.cel "$work/linux" "$work/other" >&2; then
    { echo "differs from Linux: quondel $row" && diff "$work/out" "$work/o-out"
      diff "$work/err" "$work/o-err-slashes"; } >&2 || true
    failed=1
  fi
done <<EOF
$rows
EOF
[ -f "$work/linux/sub/doll.gif" ] || failed=1
[ ! -f "$work/linux/huge.gif" ] || cmp "$work/linux/huge.gif" "$work/linux/tail.gif" || failed=1
exit $failed
