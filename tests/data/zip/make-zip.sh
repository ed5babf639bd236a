#!/usr/bin/env bash
# Makes the ZIP archives of this folder with Info-ZIP's zip (Debian package zip 3.0), as people
# make them. Run by hand from this folder, never by CI; the archives are committed.
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
here=$(pwd)
cd "$work"
printf 'first member, no word here %.0s\n' {1..50} > a.txt
printf 'the needle in the streamed member\n' > s.txt
printf 'the needle kept under a password\n' > p.txt
printf 'the needle packed with bzip2 %.0s\n' {1..20} > b.txt
printf 'the needle after the cut\n' > z.txt
# Written to a pipe, zip cannot go back to fill in the sizes: they follow each member's data.
zip -q - a.txt s.txt | cat > "$here/streamed.zip"
zip -q -P secret "$here/encrypted.zip" p.txt
zip -q -Z bzip2 "$here/bzip2.zip" b.txt
zip -q full.zip a.txt z.txt
cp full.zip "$here/full.zip"
# Cut inside the first member's data: the second member is lost with it.
head -c 120 full.zip > "$here/truncated.zip"
