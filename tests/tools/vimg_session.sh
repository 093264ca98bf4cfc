#!/bin/sh
# vimg_session.sh VIMG - a session with the picture tool as a user would have
# it: help, info on good and bad files, conversion to PAM (compared byte for
# byte with the pixels the files were built from) and to PNG (read back by
# info), models described and rendered with each option, and the failures,
# each with its exit status and its message.
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
contains err.txt "text.bmp: no loader takes it (3: not a format any loader knows)"
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

# Models. tri.3ds: one mesh "tri" of three vertices and one face in the
# material "red", with mapping coordinates. fig.ms3d (version 4): the same
# triangle, two vertices on the one joint, whose rotation keys turn it about
# z from 0 at 0 ms to 1.5 radians at 1000 ms.
{ printf '\115\115\257\000\000\000\002\000\012\000\000\000\003\000\000\000\075\075\237\000\000\000\377\257\037\000\000\000\000\240\012\000\000\000\162\145\144\000\040\240\017\000\000\000\021\000\011\000\000\000\340\040\040\000\100\172\000\000\000\164\162\151\000\000\101\160\000\000\000\020\101\054\000\000\000\003\000\000\000\000\000\000\000\200\077\000\000\000\000\000\000\200\077\000\000\200\277\000\000\000\000\000\000\200\277\000\000\200\277\000\000\000\000\040\101\036\000\000\000\001\000\000\000\001\000\002\000\007\000\060\101\016\000\000\000\162\145\144\000\001\000\000\000\100\101\040\000\000\000\003\000\000\000\000\077\000\000\200\077\000\000\200\077'; head -c 12 /dev/zero; } >tri.3ds
{ printf '\115\123\063\104\060\060\060\060\060\060\004\000\000\000\003\000\000\000\000\000\000\000\000\200\077\000\000\000\000\000\001\000\000\000\200\077\000\000\200\277\000\000\000\000\000\001\000\000\000\200\277\000\000\200\277\000\000\000\000\377\001\001\000\000\000\000\000\001\000\002\000\000\000\000\000\000\000\000\000\000\000\200\077\000\000\000\000\000\000\000\000\000\000\200\077\000\000\000\000\000\000\000\000\000\000\200\077'; head -c 24 /dev/zero; printf '\001\000\000\000\000\000\000\000\300\101\000\000\000\000\036\000\000\000\001\000\000\152'; head -c 87 /dev/zero; printf '\002'; head -c 21 /dev/zero; printf '\200\077\000\000\000\000\000\000\000\000\000\000\300\077'; } >fig.ms3d
head -c 100 tri.3ds >cut.3ds

expect 0 "$VIMG" info tri.3ds fig.ms3d
contains out.txt "tri.3ds: 3DS model, 3 vertices, 1 triangles, 1 groups, 1 materials, 0 joints"
contains out.txt "fig.ms3d: MS3D model, 3 vertices, 1 triangles, 0 groups, 0 materials, 1 joints"
expect 1 "$VIMG" info cut.3ds
contains err.txt "cut.3ds: the 3DS loader failed with 1: the data is corrupt or inconsistent"
expect 1 "$VIMG" convert tri.3ds tri.png
contains err.txt "tri.3ds: a 3DS model, not a picture"

# Rendering is integer arithmetic: the same command gives the same picture.
expect 0 "$VIMG" render tri.3ds flat.png
expect 0 "$VIMG" info flat.png
contains out.txt "flat.png: PNG, 320 x 240, 32-bit colour, palette 0, transparency no"
expect 0 "$VIMG" render tri.3ds again.png --mode flat --angles 0,0,0 --time 0
same flat.png again.png
expect 0 "$VIMG" render tri.3ds small.png --size 64x48
expect 0 "$VIMG" info small.png
contains out.txt "small.png: PNG, 64 x 48"
expect 0 "$VIMG" render tri.3ds wire.png --mode wire
! cmp -s flat.png wire.png || fail "--mode wire drew the flat picture"
# One colour and one normal: shading per vertex gives the flat picture.
expect 0 "$VIMG" render tri.3ds colour.png --mode colour
same flat.png colour.png
expect 0 "$VIMG" render tri.3ds turned.png --angles 0,0,300
! cmp -s flat.png turned.png || fail "--angles drew the unturned picture"
expect 0 "$VIMG" render tri.3ds textured.png --mode textured --texture two.bmp
! cmp -s flat.png textured.png || fail "--mode textured drew the flat picture"

# The joint turns the figure until its last key, and holds it after.
expect 0 "$VIMG" render fig.ms3d start.png --time 0
expect 0 "$VIMG" render fig.ms3d end.png --time 1000
expect 0 "$VIMG" render fig.ms3d later.png --time 5000
! cmp -s start.png end.png || fail "--time did not move the joint"
same end.png later.png

expect 2 "$VIMG" render tri.3ds out.png --mode textured
contains err.txt "needs --texture"
for bad in "--size 0x10" "--size 5000x10" "--size 12" "--mode shiny" "--angles 1,2" "--angles 1,2,3,4" \
           "--time -5" "--shine 1" "--size"; do
  # shellcheck disable=SC2086
  expect 2 "$VIMG" render tri.3ds out.png $bad
  contains err.txt "wrong option or value"
done
expect 2 "$VIMG" render tri.3ds out.jpg
contains err.txt "must end in .png"
expect 1 "$VIMG" render two.bmp out.png
contains err.txt "two.bmp: no model loader takes it"
expect 1 "$VIMG" render cut.3ds out.png
contains err.txt "cut.3ds: the model failed to load with 1: the data is corrupt or inconsistent"
expect 1 "$VIMG" render missing.3ds out.png
contains err.txt "missing.3ds: cannot read the file"
expect 1 "$VIMG" render tri.3ds out.png --mode textured --texture text.bmp
contains err.txt "text.bmp: no texture loader takes it"
[ ! -e out.png ] || fail "a failed render left out.png"

echo "vimg session: all steps passed"
