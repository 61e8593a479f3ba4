#!/usr/bin/env bash
# marrowfold on a real terminal (tmux): Esc pressed during a batch stops it
# between files with the Esc line; the "ask" question proposes the current
# folder, then the one chosen last, takes Enter as the folder shown and is
# cancelled by Esc; two Ctrl-C end the run at once. Each time the
# terminal's settings (stty -g) are what they were before the run.
#
# A run is held inside its first drawing by a large image that takes
# seconds to stage, so the keys arrive mid-batch.
set -u
bin=$(cd "$1" && pwd)
command -v tmux >/dev/null || { echo "tmux is not installed"; exit 1; }
t=$(mktemp -d)
# A tmux server of its own for every run: one killed and started again at
# once on the same socket may not come up.
runs=0
sock=
trap '[ -n "$sock" ] && tmux -L "$sock" kill-server 2>/dev/null; rm -rf "$t"' EXIT
. "$(dirname "${BASH_SOURCE[0]}")/check.sh"
export LANG=C.UTF-8 LC_ALL=C.UTF-8

"$bin/marrowfold-sample" "$t/dwg" >/dev/null || { echo "FAILED: sample"; exit 1; }
cd "$t"
# Incompressible, so that staging it takes a few seconds: keys pressed
# meanwhile reach a run that is in the middle of a drawing.
head -c 128M /dev/urandom >dwg/images/photo.bmp
mkdir -p other && cp dwg/sample.jww other/second.jww

# Runs the arguments in a fresh tmux terminal; the run's exit status lands
# in $t/status, the terminal's settings before and after in before/after.
run() {
  rm -f status before after
  printf '%s\n' "cd '$t'" "stty -g >before" "'$bin/marrowfold' $*" "echo \$? >status.new" \
    "stty -g >after" "mv status.new status" "sleep 60" >run.sh
  [ -n "$sock" ] && tmux -L "$sock" kill-server 2>/dev/null
  runs=$((runs + 1))
  sock="marrowfold-test-$$-$runs"
  # The server must not keep the pipe open: the run would never see its end.
  tmux -L "$sock" -u new-session -d -x 160 -y 40 "bash run.sh" 3>&-
}
screen() { tmux -L "$sock" capture-pane -p -J; }
wait_for() {  # condition...
  for _ in $(seq 200); do "$@" && return 0; sleep 0.05; done
  return 1
}
hold() {  # a fresh start for a run that takes its time over the photo
  rm -rf home out && mkdir -p home out
}
staging() { test -n "$(find home -name '*photo*' -type f 2>/dev/null)"; }
ended() { test -f status; }

# -- Esc during a batch
hold
run --home home --dest-dir out --names plain dwg/sample.jww other/second.jww
check "the run reaches the first drawing's image" wait_for staging
tmux -L "$sock" send-keys Escape
sleep 0.3
check "the run ends" wait_for ended
check "Esc ends it with 1" test "$(cat status)" = 1
check "the Esc line is shown" wait_for eval 'screen | grep -q "^\[ESC\]を押しましたので中断します。$"'
check "after the first drawing" test "$(screen | grep -c '変換ＯＫ')" -eq 1
check "the second drawing is not converted" test ! -e out/second.jww
check "the terminal is as it was" test "$(cat before)" = "$(cat after)"

# -- the ask question: the current folder first, then the one chosen last
rm -rf home out && mkdir -p home out
run --home home --dest ask other/second.jww
check "the question is asked" wait_for eval 'screen | grep -q "保存先フォルダを指定"'
check "proposing the current folder" eval 'screen | grep -qE "保存先フォルダを指定 \[$t/?\]: "'
tmux -L "$sock" send-keys -l "oux"
tmux -L "$sock" send-keys BSpace
tmux -L "$sock" send-keys -l "t"
check "typed keys show, a mistake erased" wait_for eval 'screen | grep -qE "\[$t/?\]: out$"'
tmux -L "$sock" send-keys Enter
check "the run ends" wait_for ended
check "the folder typed is taken: exit 0" test "$(cat status)" = 0
check "the drawing is there" test -f out/second.jww
check "the terminal is as it was" test "$(cat before)" = "$(cat after)"

run --home home --dest ask other/second.jww
check "the next question proposes the folder chosen" wait_for eval 'screen | grep -qE "\[$t/out/?\]: "'
tmux -L "$sock" send-keys Enter
check "the run ends" wait_for ended
check "Enter takes the folder shown: exit 0" test "$(cat status)" = 0
check "the drawing is there under the next name" test -f out/second~1.jww

# -- Esc cancels the question, whatever was typed
run --home home --dest ask other/second.jww
check "the question is asked" wait_for eval 'screen | grep -qE "\[$t/out/?\]: "'
tmux -L "$sock" send-keys -l "dwg"
tmux -L "$sock" send-keys Escape
check "the run ends" wait_for ended
check "Esc cancels: exit 1" test "$(cat status)" = 1
check "nothing is converted" test ! -e out/second~2.jww -a ! -e dwg/second.jww
check "the terminal is as it was" test "$(cat before)" = "$(cat after)"

# -- two Ctrl-C end the run at once
hold
run --home home --dest-dir out dwg/sample.jww
check "the run reaches the image" wait_for staging
tmux -L "$sock" send-keys C-c
sleep 0.3
tmux -L "$sock" send-keys C-c
check "the run ends at once" wait_for ended
check "with 130" test "$(cat status)" = 130
check "leaving no file in the destination" test -z "$(ls out)"
check "nor a work folder" test ! -e home/TEMP
check "the log says the drawing was not written" \
  eval 'screen | grep -q "^　…… 中断しました。この図面は書き出していません。$"'
check "the terminal is as it was" test "$(cat before)" = "$(cat after)"

[ $fails -eq 0 ]
