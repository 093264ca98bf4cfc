# session_lib.sh - what the tool sessions share, sourced by each: a scratch
# folder to work in (removed on exit) and the checks a session is made of.

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# expect STATUS COMMAND...: runs the command with its output in out.txt and
# err.txt, and fails unless it exits with STATUS.
expect() {
  want=$1
  shift
  set +e
  "$@" >out.txt 2>err.txt
  got=$?
  set -e
  if [ "$got" -ne "$want" ]; then
    cat out.txt err.txt >&2
    fail "'$*' exited with $got, expected $want"
  fi
}

same() {
  cmp -s "$1" "$2" || fail "$1 and $2 differ"
}

contains() {
  grep -q -- "$2" "$1" || { cat "$1" >&2; fail "$1 lacks '$2'"; }
}
