#!/usr/bin/env bash
# Interrupting marrowfold as a shell user would. A run is held in the middle
# of staging an image by making that image a named pipe that is fed only
# half; then: a first Ctrl-C lets the drawing in hand finish and stops the
# batch, while a second Ctrl-C, SIGTERM or SIGHUP ends the run at once with
# no half-made file or work folder left behind.
set -u
bin=$(cd "$1" && pwd)
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
. "$(dirname "${BASH_SOURCE[0]}")/check.sh"
# Background jobs of a script ignore SIGINT unless job control is on, and
# the program keeps a signal it finds ignored.
set -m

mkdir -p "$t/dwg"
"$bin/marrowfold-sample" "$t/dwg" >/dev/null || { echo "FAILED: sample"; exit 1; }
cd "$t"
mv dwg/images/photo.bmp photo.bytes
# A second drawing whose images are all missing: it converts at once.
mkdir -p other && cp dwg/sample.jww other/second.jww

pid=
start() {  # starts a run held in the middle of copying photo.bmp
  rm -rf home out && mkdir -p home out
  rm -f dwg/images/photo.bmp && mkfifo dwg/images/photo.bmp
  # Read-write, so that opening never waits for the other side.
  exec 3<>dwg/images/photo.bmp
  head -c 100 photo.bytes >&3
  "$bin/marrowfold" --home home --dest-dir out --names plain dwg/sample.jww other/second.jww \
    </dev/null >stdout 2>stderr 3>&- &
  pid=$!
  for _ in $(seq 200); do
    [ -n "$(find home -name 'photo*' -type f 2>/dev/null)" ] && return 0
    sleep 0.05
  done
  echo "FAILED: the run never reached the image"
  kill -KILL "$pid"
  exit 1
}
finish() {  # feeds the rest of the image
  tail -c +101 photo.bytes >&3
  exec 3>&-
}
status=
ended() {  # waits for the run; its exit status in $status
  wait "$pid"
  status=$?
}
leftovers() {  # what the run left in home and out, but for the settings a finished run keeps
  find home out -mindepth 1 ! -path home/marrowfold.dat | sort
}

start
check "a staged image and a reserved output exist while held" \
  test -n "$(find home -type f)" -a -n "$(find out -type f)"
kill -TERM "$pid"
ended
check "SIGTERM ends the run with 143" test $status -eq 143
check "and leaves nothing behind" test -z "$(leftovers)"
exec 3>&-

start
kill -HUP "$pid"
ended
check "SIGHUP ends the run with 129" test $status -eq 129
check "and leaves nothing behind" test -z "$(leftovers)"
exec 3>&-

start
kill -INT "$pid"
sleep 0.3
check "a first Ctrl-C does not end the run" kill -0 "$pid"
kill -INT "$pid"
ended
check "a second Ctrl-C ends it with 130" test $status -eq 130
check "and leaves nothing behind" test -z "$(leftovers)"
exec 3>&-

# A work folder that was there before the run is not the run's to remove.
start
mkdir -p home/keep
kill -TERM "$pid"
ended
check "folders the run did not make stay" test "$(leftovers)" = "home/keep"
exec 3>&-

start
kill -INT "$pid"
sleep 0.3
finish
ended
check "after one Ctrl-C the drawing in hand is finished" test -f out/sample.jww
check "and the batch stops before the next" test ! -e out/second.jww
check "with no temporary left" test "$(leftovers)" = "out/sample.jww"

[ $fails -eq 0 ]
