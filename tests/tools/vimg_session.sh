#!/bin/sh
# vimg_session.sh VIMG - a session with the picture tool as a user would have
# it: help, info on good and bad files, conversion to PAM (compared byte for
# byte with the pixels the files were built from) and to PNG (read back by
# info), and the failures, each with its exit status and its message.
set -eu

VIMG=$1
. "$(dirname "$0")/session_lib.sh"

# A 2 x 1 24-bit BMP: red 0x11, green 0x22, blue 0x33, then 0x44, 0x55, 0x66.
printf '\102\115\076\000\000\000\000\000\000\000\066\000\000\000\050\000\000\000\002\000\000\000\001\000\000\000\001\000\030\000\000\000\000\000\010\000\000\000\022\013\000\000\022\013\000\000\000\000\000\000\000\000\000\000\063\042\021\146\125\104\000\000' >two.bmp
# A 1 x 2 32-bit TGA stored top row first: (0x10, 0x20, 0x30, alpha 0x80), then
# (0x40, 0x50, 0x60, opaque).
printf '\000\000\002\000\000\000\000\000\000\000\000\000\001\000\002\000\040\050\060\040\020\200\140\120\100\377' >two.tga
printf 'not a picture' >text.bmp
head -c 40 two.bmp >cut.bmp

expect 0 "$VIMG" --help
contains out.txt "usage: vimg info FILE"
expect 2 "$VIMG"
contains err.txt "no command given"
expect 2 "$VIMG" resize two.bmp
contains err.txt "wrong command"
expect 2 "$VIMG" convert two.bmp
contains err.txt "wrong command"

expect 0 "$VIMG" info two.bmp two.tga
contains out.txt "two.bmp: BMP, 2 x 1, 32-bit colour, palette 0, transparency no"
contains out.txt "two.tga: TGA, 1 x 2, 32-bit colour, palette 0, transparency yes"

# One bad file among good ones: the good ones are still shown, the status is 1.
expect 1 "$VIMG" info two.bmp text.bmp cut.bmp missing.gif
contains out.txt "two.bmp: BMP, 2 x 1"
contains err.txt "text.bmp: no loader takes it (3: not an image format any loader knows)"
contains err.txt "cut.bmp: the BMP loader failed with 1: the data is corrupt or inconsistent"
contains err.txt "missing.gif: cannot read the file"

expect 0 "$VIMG" convert two.bmp two.pam
{ printf 'P7\nWIDTH 2\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n'; printf '\021\042\063\377\104\125\146\377'; } >want.pam
cmp -s two.pam want.pam || fail "two.pam differs from the decoded pixels"
expect 0 "$VIMG" convert two.tga two.pam
{ printf 'P7\nWIDTH 1\nHEIGHT 2\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n'; printf '\020\040\060\200\100\120\140\377'; } >want.pam
cmp -s two.pam want.pam || fail "the TGA's two.pam differs from the decoded pixels"

expect 0 "$VIMG" convert two.tga two.png
expect 0 "$VIMG" info two.png
contains out.txt "two.png: PNG, 1 x 2, 32-bit colour"

expect 2 "$VIMG" convert two.bmp two.jpeg
contains err.txt "must end in .png or .pam"
expect 1 "$VIMG" convert text.bmp out.pam
contains err.txt "no loader takes it"
[ ! -e out.pam ] || fail "a failed conversion left out.pam"
expect 1 "$VIMG" convert two.bmp no-such-folder/out.pam
contains err.txt "cannot write the file"

echo "vimg session: all steps passed"
