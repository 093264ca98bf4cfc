#!/bin/sh
# vexa_puzzle_session.sh VEXA_PUZZLE - the game's executable as a user meets
# it on a machine without a display: help, version, self-check, each kind of
# mistake with its message and exit status 2, a missing data folder, and
# headless runs that end after their frames, write their pictures, repeat
# themselves for the same seed and end early on SIGTERM.
set -eu

GAME=$1
. "$(dirname "$0")/../tools/session_lib.sh"

# No display: the headless front end is the default.
unset DISPLAY WAYLAND_DISPLAY SDL_VIDEODRIVER || true

# --- information ----------------------------------------------------------------

expect 0 "$GAME" --help
contains out.txt "^usage: vexa-puzzle"
for option in --headless --window "--scale N" --fullscreen "--frames N" "--seed N" "--screenshot FILE.png" \
              "--record FILE" "--replay FILE" "--data DIR" "--shots F1,F2,... DIR" --version --self-check; do
  contains out.txt "^  $option "
done

expect 0 "$GAME" --version
contains out.txt "^vexa-puzzle [0-9][0-9.]*$"

expect 0 "$GAME" --self-check
contains out.txt "all device checks passed"

# --- mistakes: a reason, a hint, status 2, and no run -----------------------------

mistake() {
  reason=$1
  shift
  expect 2 "$GAME" "$@"
  contains err.txt "^vexa-puzzle: .*$reason"
  contains err.txt "try 'vexa-puzzle --help'"
  [ ! -s out.txt ] || fail "'$*' printed to stdout"
}
mistake 'unknown option "--colour"' --colour
mistake '--scale needs a whole number from 1 to 16, not "0"' --scale 0
mistake '--frames needs N' --frames
mistake '--seed needs a whole number' --seed 12abc
mistake '--screenshot needs a file name ending in .png' --screenshot last.jpg
mistake '--shots needs frame numbers' --shots 1,x pictures
mistake '--headless and --window exclude each other' --headless --window
mistake '--version takes no other option' --version --headless

# --- data folder ------------------------------------------------------------------

expect 1 "$GAME" --headless --frames 1 --data "$WORK/none"
contains err.txt "cannot use the data folder $WORK/none"

# Without its packages the game says so and ends through its fatal path.
mkdir empty
expect 1 "$GAME" --frames 30 --data empty
contains err.txt "holds no res/ folder"
contains err.txt "Not enough memory to load game data"

# A data folder with the packages the build made.
mkdir game
ln -s "$(cd "$(dirname "$GAME")" && pwd)/res" game/res

# --- headless runs ----------------------------------------------------------------

# Relative names are the start folder's, though the run changes to the data folder.
expect 0 "$GAME" --frames 120 --seed 3 --shots 1,60,120 pictures --screenshot last.png --data game
contains out.txt "3 of 3 pictures written to $WORK/pictures"
for frame in 000001 000060 000120; do
  [ "$(head -c 8 "pictures/frame-$frame.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
    fail "pictures/frame-$frame.png is no PNG"
done
same last.png pictures/frame-000120.png

# The same seed gives the same frames.
expect 0 "$GAME" --frames 120 --seed 3 --shots 120 again --data game
same again/frame-000120.png pictures/frame-000120.png

expect 1 "$GAME" --frames 5 --shots 1 last.png --data game
contains err.txt "cannot make the folder"

# SIGTERM ends an endless run through the game's own exit.
"$GAME" --headless --data game >out.txt 2>err.txt &
pid=$!
sleep 1
kill -TERM $pid
set +e
wait $pid
status=$?
set -e
[ "$status" -eq 0 ] || fail "the run ended with $status after SIGTERM"
