#!/bin/sh
# vpk_session.sh VPK - a session with the package tool as a user would have
# it: create, list, add, replace, extract, delete, verify, convert an old
# package built here byte by byte, and the failures, each with its exit
# status and its output compared.
set -eu

VPK=$1
. "$(dirname "$0")/session_lib.sh"

# line FILE N TEXT: line N of FILE is exactly TEXT.
line() {
  got=$(sed -n "$2p" "$1")
  [ "$got" = "$3" ] || fail "line $2 of $1 is '$got', expected '$3'"
}

byte() { printf "\\$(printf '%03o' "$1")"; }
le32() { byte $(($1 & 255)); byte $((($1 >> 8) & 255)); byte $((($1 >> 16) & 255)); byte $((($1 >> 24) & 255)); }
zeros() { head -c "$1" /dev/zero; }
name128() { printf '%s' "$1"; zeros $((128 - ${#1})); }
size() { wc -c < "$1" | tr -d ' '; }
utc() { date -u -r "$1" '+%Y-%m-%d %H:%M:%S'; }

mkdir src
printf 'hello\n' > src/hello.txt
seq 1 3000 > src/numbers.txt
head -c 4000 /dev/urandom > src/noise.bin
: > src/empty.dat

# --- the command line ---------------------------------------------------------
expect 0 "$VPK" --help
contains out.txt "usage: vpk COMMAND PACKAGE"
expect 2 "$VPK"
expect 2 "$VPK" frobnicate demo.vpk
contains err.txt "unknown command 'frobnicate'"
expect 2 "$VPK" create
expect 2 "$VPK" create demo.vpk
expect 2 "$VPK" create demo.vpk --method bzip2 src/hello.txt
contains err.txt "unknown method 'bzip2'"
expect 2 "$VPK" list demo.vpk --replace
[ ! -e demo.vpk ] || fail "a usage error made a package"

# --- create and list ------------------------------------------------------------
expect 0 "$VPK" create demo.vpk --vendor ABC --method lzw src/hello.txt src/numbers.txt src/empty.dat
[ ! -s out.txt ] || fail "create printed something"
expect 0 "$VPK" list demo.vpk
line out.txt 1 "demo.vpk: VPK2, vendor 'ABC', 3 entries"
awk 'NR > 2 { print $1, $2, $3, $5 }' out.txt > columns.txt
printf '%s\n' "0 hello.txt 6 raw" "1 numbers.txt $(size src/numbers.txt) lzw" "2 empty.dat 0 raw" > want.txt
same columns.txt want.txt
packed=$(awk '$2 == "numbers.txt" { print $4 }' out.txt)
[ "$packed" -lt "$(size src/numbers.txt)" ] || fail "numbers.txt was not compressed ($packed bytes)"
modified=$(awk '$2 == "hello.txt" { print $6, $7 }' out.txt)
[ "$modified" = "$(utc src/hello.txt)" ] || fail "hello.txt modified '$modified', expected '$(utc src/hello.txt)'"
expect 1 "$VPK" create demo.vpk src/hello.txt
contains err.txt "demo.vpk: already exists"
expect 1 "$VPK" create other.vpk src/hello.txt src/missing.txt
contains err.txt "src/missing.txt: no such file"
[ ! -e other.vpk ] || fail "a failed create left its package"

# --- add and replace -----------------------------------------------------------------
expect 1 "$VPK" add demo.vpk src/hello.txt
contains err.txt "an entry named 'hello.txt' is already in the package (use --replace)"
printf 'hello again, longer now\n' > src/hello.txt
expect 0 "$VPK" add demo.vpk --replace src/hello.txt
expect 0 "$VPK" add demo.vpk src/noise.bin -v
line out.txt 1 "noise.bin"
expect 0 "$VPK" list demo.vpk
awk 'NR > 2 { print $1, $2, $3, $5 }' out.txt > columns.txt
printf '%s\n' "0 hello.txt 24 raw" "1 numbers.txt $(size src/numbers.txt) lzw" "2 empty.dat 0 raw" \
  "3 noise.bin 4000 raw" > want.txt
same columns.txt want.txt

# --- extract -----------------------------------------------------------------------------
mkdir out
expect 0 "$VPK" extract demo.vpk -C out
for f in hello.txt numbers.txt empty.dat noise.bin; do same "src/$f" "out/$f"; done
expect 1 "$VPK" extract demo.vpk HELLO.TXT -C out
contains err.txt "HELLO.TXT: a file of that name exists (use --overwrite)"
printf 'changed' > out/hello.txt
expect 0 "$VPK" extract demo.vpk HELLO.TXT -C out --overwrite
same src/hello.txt out/hello.txt
expect 1 "$VPK" extract demo.vpk missing.txt -C out
contains err.txt "missing.txt: not in the package"
expect 1 "$VPK" extract demo.vpk -C no-such-folder
contains err.txt "no-such-folder: no such folder"
mkdir here && (cd here && "$VPK" extract ../demo.vpk empty.dat) && same src/empty.dat here/empty.dat

# --- delete and verify ------------------------------------------------------------------
expect 0 "$VPK" delete demo.vpk numbers.txt
expect 1 "$VPK" delete demo.vpk numbers.txt
contains err.txt "numbers.txt: not in the package"
expect 0 "$VPK" list demo.vpk
line out.txt 1 "demo.vpk: VPK2, vendor 'ABC', 3 entries"
awk 'NR > 2 { print $2 }' out.txt | tr '\n' ' ' > names.txt
[ "$(cat names.txt)" = "hello.txt empty.dat noise.bin " ] || fail "entries after delete: $(cat names.txt)"
expect 0 "$VPK" verify demo.vpk
line out.txt 1 "demo.vpk: OK, 3 entries"
expect 0 "$VPK" vendor demo.vpk WXYZ
expect 0 "$VPK" list demo.vpk
line out.txt 1 "demo.vpk: VPK2, vendor 'WXYZ', 3 entries"

# A changed header byte breaks the checksum.
cp demo.vpk badheader.vpk
printf 'X' | dd of=badheader.vpk bs=1 seek=13 conv=notrunc 2>/dev/null
expect 1 "$VPK" verify badheader.vpk
contains err.txt "badheader.vpk: the header checksum does not match"
expect 1 "$VPK" list src/hello.txt
contains err.txt "src/hello.txt: not a package"
expect 1 "$VPK" list missing.vpk
contains err.txt "missing.vpk: no such file"

# Damaged compressed data: verify names the entry, extract writes nothing.
expect 0 "$VPK" create z.vpk --method zlib src/numbers.txt
printf 'XXXX' | dd of=z.vpk bs=1 seek=140 conv=notrunc 2>/dev/null
expect 1 "$VPK" verify z.vpk
line out.txt 1 "entry 0 (numbers.txt): entry data is corrupt or uses an unknown method"
line out.txt 2 "z.vpk: 1 of 1 entry damaged"
mkdir zout
expect 1 "$VPK" extract z.vpk -C zout
[ ! -e zout/numbers.txt ] || fail "a corrupt entry was extracted"

# --- the old layout -------------------------------------------------------------------
# Header: "VPCK", vendor, count at 16; records of 152 bytes from 32: name,
# data position at 128, unpacked and packed size, method; then the data.
{
  printf 'VPCKOLDV'; zeros 8; le32 3; zeros 12
  name128 'old.txt'; le32 488; le32 9; le32 9; byte 0; zeros 11
  name128 'dir\second.bin'; le32 497; le32 3; le32 3; byte 0; zeros 11
  name128 'void'; le32 500; le32 0; le32 0; byte 0; zeros 11
  printf 'old data\n2nd'
} > old.vpk
[ "$(size old.vpk)" -eq 500 ] || fail "the old fixture is $(size old.vpk) bytes"
cp old.vpk old-copy.vpk
expect 0 "$VPK" list old.vpk
line out.txt 1 "old.vpk: VPCK (old layout), vendor 'OLDV', 3 entries"
awk 'NR > 2 { print $1, $2, $3, $4, $5, $6, $7 }' out.txt > columns.txt
printf '%s\n' "0 old.txt 9 9 raw - -" "1 second.bin 3 3 raw - -" "2 void 0 0 raw - -" > want.txt
same columns.txt want.txt
expect 0 "$VPK" verify old.vpk
line out.txt 1 "old.vpk: OK, 3 entries"

# A conversion that cannot finish leaves the package as it was.
touch old.vpk_tmp
expect 1 "$VPK" convert old.vpk
contains err.txt "old.vpk: conversion failed; the package is unchanged"
same old.vpk old-copy.vpk
rm old.vpk_tmp

expect 0 "$VPK" convert old.vpk
line out.txt 1 "old.vpk: converted, 3 entries"
[ ! -e old.vpk_tmp ] || fail "the conversion left its temporary file"
expect 0 "$VPK" convert old.vpk
line out.txt 1 "old.vpk: already in the current layout"
expect 0 "$VPK" list old.vpk
line out.txt 1 "old.vpk: VPK2, vendor 'OLDV', 3 entries"
expect 0 "$VPK" verify old.vpk
# 28-byte header, three 92-byte records, 12 data bytes, three positions.
[ "$(size old.vpk)" -eq $((28 + 3 * 92 + 12 + 12)) ] || fail "converted package is $(size old.vpk) bytes"
mkdir oldout
expect 0 "$VPK" extract old.vpk -C oldout
printf 'old data\n' > want.txt
same oldout/old.txt want.txt
printf '2nd' > want.txt
same oldout/second.bin want.txt
[ -f oldout/void ] && [ ! -s oldout/void ] || fail "the empty entry was not extracted"

# Writers convert an old package first.
cp old-copy.vpk old2.vpk
expect 0 "$VPK" delete old2.vpk void
expect 0 "$VPK" list old2.vpk
line out.txt 1 "old2.vpk: VPK2, vendor 'OLDV', 2 entries"

echo "vpk session: all checks passed"
