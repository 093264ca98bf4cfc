#!/bin/sh
# vexa_render_session.sh VEXA_RENDER - a session with the renderer as a user
# would have it: a two-pattern tune and a short sound built here byte by
# byte, rendered with each output option, the facts it prints, the sizes and
# first samples of what it writes, and the failures, each with its exit
# status and message.
set -eu

RENDER=$1
. "$(dirname "$0")/session_lib.sh"

# line FILE N TEXT: line N of FILE is exactly TEXT.
line() {
  got=$(sed -n "$2p" "$1")
  [ "$got" = "$3" ] || fail "line $2 of $1 is '$got', expected '$3'"
}

size() { wc -c < "$1" | tr -d ' '; }
sized() { [ "$(size "$1")" -eq "$2" ] || fail "$1 has $(size "$1") bytes, expected $2"; }
bytesat() { od -A n -t x1 -j "$2" -N "$3" "$1" | tr -s ' ' | sed 's/^ //; s/ $//'; }
byte() { printf "\\$(printf '%03o' "$1")"; }
le16() { byte $(($1 & 255)); byte $((($1 >> 8) & 255)); }
le32() { le16 $(($1 & 65535)); le16 $((($1 >> 16) & 65535)); }
zeros() { head -c "$1" /dev/zero; }
repeat() { i=0; while [ "$i" -lt "$2" ]; do byte "$1"; i=$((i + 1)); done; }

# A 4-track module: sample 1 is 64 bytes of 64, looped whole; row 0 plays
# period 428 with it on track 0 and sets speed 1 on track 1; song length 2.
{
  printf 'session tune'; zeros 8
  zeros 22; byte 0; byte 32; byte 0; byte 64; byte 0; byte 0; byte 0; byte 32
  zeros $((30 * 30))
  byte 2; byte 127; byte 0; byte 1; zeros 126
  printf 'M.K.'
  byte 1; byte 172; byte 16; byte 0
  byte 0; byte 0; byte 15; byte 1
  zeros $((1024 - 8 + 1024))
  repeat 64 64
} > tune.mod
sized tune.mod 3196

# A 16-bit mono sound at 8000 Hz: 800 frames of 1000.
{
  printf 'RIFF'; le32 1636; printf 'WAVEfmt '; le32 16
  le16 1; le16 1; le32 8000; le32 16000; le16 2; le16 16
  printf 'data'; le32 1600
  i=0; while [ "$i" -lt 800 ]; do le16 1000; i=$((i + 1)); done
} > effect.wav

# --- the command line ---------------------------------------------------------
expect 0 "$RENDER" --help
contains out.txt 'usage: vexa-render IN -o OUT.wav'
expect 2 "$RENDER"
contains err.txt 'no input file'
expect 2 "$RENDER" tune.mod
contains err.txt 'no output file'
expect 2 "$RENDER" tune.mod -o a.wav --volume 3
contains err.txt 'unknown option --volume'
expect 2 "$RENDER" tune.mod -o a.wav --rate 100
contains err.txt 'rate takes a whole number'
expect 2 "$RENDER" tune.mod -o a.wav --seconds abc
contains err.txt 'seconds takes a number'
expect 2 "$RENDER" tune.mod -o
contains err.txt '\-o needs a value'
expect 2 "$RENDER" tune.mod effect.wav -o a.wav
contains err.txt 'more than one input'
[ ! -e a.wav ] || fail "a refused command line wrote a.wav"

# --- the tune -----------------------------------------------------------------
# 128 rows at speed 1, 882 frames each; the fragment in which the song
# ends is written whole, so one more 20 ms of silence follows.
expect 0 "$RENDER" tune.mod -o tune.wav
line out.txt 1 'title: session tune'
line out.txt 2 'tracks: 4'
line out.txt 3 'patterns: 2'
line out.txt 4 'length: 2 orders, 128 rows'
line out.txt 5 'rendered: 2.58 s, 113778 frames, 44100 Hz, stereo, 16-bit -> tune.wav'
sized tune.wav $((44 + 113778 * 4))
[ "$(bytesat tune.wav $((44 + 112895 * 4)) 8)" = "00 18 00 08 00 00 00 00" ] || fail "the song does not end after 128 rows"
# Track 0 sits at pan 64: 64 x 2 x 48 left, 64 x 2 x 16 right.
[ "$(bytesat tune.wav 44 4)" = "00 18 00 08" ] || fail "first frame is $(bytesat tune.wav 44 4)"
[ "$(bytesat tune.wav 0 4)" = "52 49 46 46" ] || fail "no RIFF header"

expect 0 "$RENDER" tune.mod -o again.wav
cmp -s tune.wav again.wav || fail "two renders differ"

expect 0 "$RENDER" tune.mod -o small.wav --mono --8bit --rate 22050
line out.txt 5 'rendered: 2.58 s, 56889 frames, 22050 Hz, mono, 8-bit -> small.wav'
sized small.wav $((44 + 56889 + 1))  # an odd chunk is padded
# 64 x 64 = 4096: the high byte 16, offset by 128.
[ "$(bytesat small.wav 44 1)" = "90" ] || fail "first mono byte is $(bytesat small.wav 44 1)"

expect 0 "$RENDER" tune.mod -o looped.wav --loop --seconds 5
line out.txt 5 'rendered: 5.00 s, 220500 frames, 44100 Hz, stereo, 16-bit -> looped.wav'
expect 0 "$RENDER" tune.mod -o short.wav --seconds 1
line out.txt 5 'rendered: 1.00 s, 44100 frames, 44100 Hz, stereo, 16-bit -> short.wav'

# --- the sound ----------------------------------------------------------------
# 800 frames at 8000 Hz end in the sixth 20 ms fragment.
expect 0 "$RENDER" effect.wav -o effect-out.wav --mono
line out.txt 1 'sound: 8000 Hz, mono, 16-bit, 800 frames (0.10 s)'
line out.txt 2 'rendered: 0.12 s, 5292 frames, 44100 Hz, mono, 16-bit -> effect-out.wav'
# 1000 x 64 / 128.
[ "$(bytesat effect-out.wav 44 2)" = "f4 01" ] || fail "first sound sample is $(bytesat effect-out.wav 44 2)"

# --- failures -----------------------------------------------------------------
expect 1 "$RENDER" missing.mod -o a.wav
contains err.txt 'cannot read missing.mod'
printf 'not a module at all' > text.mod
expect 1 "$RENDER" text.mod -o a.wav
contains err.txt 'text.mod is not a MOD module (code -100)'
{ head -c 1080 tune.mod; printf 'FLT4'; tail -c +1085 tune.mod; } > flt4.mod
expect 1 "$RENDER" flt4.mod -o a.wav
contains err.txt 'is not a MOD module (code -100)'
head -c 2000 tune.mod > cut.mod
expect 1 "$RENDER" cut.mod -o a.wav
{ head -c 12 effect.wav; printf 'LIST'; tail -c +17 effect.wav; } > nofmt.wav
expect 1 "$RENDER" nofmt.wav -o a.wav
contains err.txt 'is not a WAV sound the mixer plays (code -300)'
expect 1 "$RENDER" tune.mod -o no/such/folder/a.wav
contains err.txt 'cannot write no/such/folder/a.wav'
[ ! -e a.wav ] || fail "a failed render wrote a.wav"

echo "vexa-render session passed"
