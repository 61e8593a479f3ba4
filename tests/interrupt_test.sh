#!/usr/bin/env bash
# Interrupting marrowfold as a shell user would. A run is held in the middle
# of staging an image (a large one, stopped with SIGSTOP once its archive
# is begun; a named pipe would be refused as no image); then: a first
# Ctrl-C lets the drawing in hand finish and stops the batch, while a second
# Ctrl-C, SIGTERM, SIGHUP or a reader that closes the pipe of standard
# output ends the run at once with no half-made file or work folder left
# behind, and the log says the drawing in hand was not written.
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
# Incompressible, so that staging it takes a good second.
head -c 128M /dev/urandom >dwg/images/photo.bmp
# A second drawing whose images are all missing: it converts at once.
mkdir -p other && cp dwg/sample.jww other/second.jww

pid=
job=
start() {  # starts a run and stops it in the middle of compressing photo.bmp
  rm -rf home out status && mkdir -p home out
  # The run's status comes through a subshell of its own: the test's own
  # wait would report the stop, not the end.
  ("$bin/marrowfold" --home home --dest-dir out --names plain dwg/sample.jww other/second.jww \
    </dev/null >stdout 2>stderr
  echo $? >status) &
  job=$!
  for _ in $(seq 400); do
    pid=$(pgrep -P "$job" -x marrowfold)
    if [ -n "$pid" ] && [ -n "$(find home -name 'photo*' -type f 2>/dev/null)" ]; then
      kill -STOP "$pid"
      return 0
    fi
    sleep 0.02
  done
  echo "FAILED: the run never reached the image"
  kill -KILL "$job" $pid
  exit 1
}
go() {  # lets the stopped run go on: the signals sent meanwhile arrive now
  kill -CONT "$pid"
}
status=
ended() {  # waits for the run; its exit status in $status
  wait "$job"
  status=$(cat status)
}
leftovers() {  # what the run left in home and out, but for the settings a finished run keeps
  find home out -mindepth 1 ! -path home/marrowfold.dat | sort
}
not_written="　…… 中断しました。この図面は書き出していません。"

start
check "a staged image and a reserved output exist while held" \
  test -n "$(find home -type f)" -a -n "$(find out -type f)"
kill -TERM "$pid"
go
ended
check "SIGTERM ends the run with 143" test $status -eq 143
check "and leaves nothing behind" test -z "$(leftovers)"
check "the log ends saying the drawing in hand was not written" test "$(tail -1 stdout)" = "$not_written"
check "after its arrow line" test "$(sed -n 2p stdout)" = "→ $t/out/sample.jww" -a "$(wc -l <stdout)" -eq 3

start
kill -HUP "$pid"
go
ended
check "SIGHUP ends the run with 129" test $status -eq 129
check "and leaves nothing behind" test -z "$(leftovers)"
check "the log ends saying so" test "$(tail -1 stdout)" = "$not_written"

start
kill -INT "$pid"
go
sleep 0.3
check "a first Ctrl-C does not end the run" kill -0 "$pid"
kill -INT "$pid"
ended
check "a second Ctrl-C ends it with 130" test $status -eq 130
check "and leaves nothing behind" test -z "$(leftovers)"
check "the log ends saying so" test "$(tail -1 stdout)" = "$not_written"

# A work folder that was there before the run is not the run's to remove.
start
mkdir -p home/keep
kill -TERM "$pid"
go
ended
check "folders the run did not make stay" test "$(leftovers)" = "home/keep"

start
kill -INT "$pid"
go
ended
check "after one Ctrl-C the drawing in hand is finished" test -f out/sample.jww
check "and the batch stops before the next" test ! -e out/second.jww
check "with no temporary left" test "$(leftovers)" = "out/sample.jww"
check "the log names Ctrl-C as what stopped it" test "$(tail -1 stdout)" = "[Ctrl-C]を押しましたので中断します。"
check "after the drawing's own result" grep -q "^　…… 変換ＯＫ" stdout

# -- a reader that closes the pipe (`| head -1`) ends the run as SIGTERM does.
# head takes the first line, and the pipe is held open until the run is in
# the photo and stopped; then the reader goes, and the next line written
# meets the closed pipe.
rm -rf home out status release && mkdir -p home out
("$bin/marrowfold" --home home --dest-dir out --names plain dwg/sample.jww other/second.jww \
  </dev/null 2>stderr | {
  head -1 >first
  for _ in $(seq 1000); do [ -e release ] && break; sleep 0.02; done
}
echo "${PIPESTATUS[0]}" >status) &
job=$!
pid=
for _ in $(seq 400); do
  pid=$(pgrep -P "$job" -x marrowfold)
  [ -n "$pid" ] && [ -n "$(find home -name 'photo*' -type f 2>/dev/null)" ] && break
  sleep 0.02
done
kill -STOP "$pid"
touch release
for _ in $(seq 200); do [ -z "$(pgrep -P "$job" | grep -vx "$pid")" ] && break; sleep 0.02; done
check "head took the first line" test "$(cat first)" = "$t/dwg/sample.jww"
go
ended
check "the run ends with 141" test "$status" -eq 141
check "the drawing finished before is there, whole" \
  eval '"$bin/marrowfold" --info out/sample.jww >/dev/null'
check "nothing else is left: no temporary, no work folder" test "$(leftovers)" = "out/sample.jww"
check "and no drawing after it was converted" test ! -e out/second.jww

# The reader gone before the first line: the output already reserved for
# the first drawing is given back.
rm -rf home out && mkdir -p home out
{
  echo "a line of its own"
  sleep 0.5
  exec "$bin/marrowfold" --home home --dest-dir out other/second.jww </dev/null 2>stderr
} | head -1 >/dev/null
status=${PIPESTATUS[0]}
check "a pipe closed before the first line ends the run with 141" test "$status" -eq 141
check "leaving nothing behind" test -z "$(leftovers)"
"$bin/marrowfold" --home home --dest-dir out other/second.jww >stdout 2>stderr
check "the next run takes the name the first would have" test "$(sed -n 2p stdout)" = "→ $t/out/second.jww"

[ $fails -eq 0 ]
