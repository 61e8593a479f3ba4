# shellcheck shell=bash disable=SC2154  # the variables of window_test.sh
# The file dialogs behind the window's controls, on the Wine of
# tests/win/window_test.sh, which sources this file and lends it its
# helpers (probe, start_app, wait_window, wait_app, check_drawing, winpath,
# pass, fail) and its folders ($linux, $win, $work):
#   the open dialog of the blue line: two drawings chosen, converted into
#   the given folder, its folder and filter index kept; the same dialog
#   cancelled;
#   the save dialog of "参照": the folder gone into lands in the destination
#   field; cancelled, the field stays;
#   "毎回指定": the save dialog asks at every batch, from the command line and
#   from the open dialog, opens in the folder picked last, and a cancel there
#   ends the batch.
# Each dialog must be modal to the window. The probe types paths relative
# to the folder each dialog should open in, into a subfolder found nowhere
# else: they land only when the dialog opened in the folder the window gave
# it.

open_title="変換元ファイルを指定"
save_title="保存先フォルダを指定"
link="ここをクリックして変換するファイルを選択して下さい。"

# Compares the probe's answer $1 with the expected text on standard input.
expect_answer() {
  local answer=$1 what=$2
  if diff - "$work/$answer" >"$work/$answer.diff"; then
    pass "$what"
  else
    fail "$what (expected, got):"
    sed 's/^/    /' "$work/$answer.diff"
  fi
}

# The log lines of one drawing $1 converted to $2.
log_lines() {
  winpath "$1"
  echo
  echo "→ $(winpath "$2")"
  echo "$dialog_result"
}

# Line $2 of the settings file of program folder $1.
dat_line() { sed -n "${2}p" "$1/marrowfold.dat" | tr -d '\r'; }

# The file names in folder $1, each followed by a space.
names_in() { ls -1 "$1" | tr '\n' ' '; }

opened="$work/open-start"
pick="$opened/pick"
mkdir -p "$opened"
"$linux/marrowfold-sample" "$pick" >/dev/null || fail "marrowfold-sample pick"
cp "$pick/sample.jww" "$pick/copy.jww"
mkdir -p "$work/dialog-linux-out" "$work/dialog-linux-home"
dialog_result=$("$linux/marrowfold" --home "$work/dialog-linux-home" \
  --dest-dir "$work/dialog-linux-out" "$pick/sample.jww" 2>/dev/null | sed -n 3p)
[ -n "$dialog_result" ] || fail "the command gave no result line for $pick/sample.jww"

# ------------------------------------------------------------------ open dialog, 参照
t=$SECONDS
dprog="$work/prog-dialog"
ddest="$work/dest-dialog"
browsed="$ddest/browsed"
mkdir -p "$dprog" "$ddest"
cp "$win/marrowfold.exe" "$dprog/"
# The given folder $ddest; the open dialog last in $opened with the second
# filter.
printf '%s\r\n' 100 80 0 0 0 1 "$(winpath "$ddest")" "$(winpath "$opened")\\" 2 0 1 0 0 \
  "$(winpath "$dprog")\\" >"$dprog/marrowfold.dat"
start_app "$dprog"
wait_window 60 || fail "no window \"$caption\" within 60 s"

probe click-open.txt click "$caption" "$link" || fail "click: $(cat "$work/click-open.txt")"
probe open.txt dialog "$open_title" 30 filter 1 name 'pick' open \
  name '"sample.jww" "copy.jww"' open
expect_answer open.txt "open dialog: \"　\", the second filter, into pick, two drawings" <<EOF
owner|$caption
file name|　
filter|2|Jw_cad 図面ファイル(win)|全てのファイル(*.*)
filter 1
name pick
stays
name "sample.jww" "copy.jww"
closed
EOF
probe open-log.txt log "$caption" 6 60
{
  log_lines "$pick/sample.jww" "$ddest/sample.jww"
  log_lines "$pick/copy.jww" "$ddest/copy.jww"
} | expect_answer open-log.txt "open dialog: the six log lines"
for name in sample.jww copy.jww; do
  if [ -f "$ddest/$name" ]; then check_drawing "$ddest/$name"; else fail "$ddest/$name missing"; fi
done

# The dialog opens with the filter left selected; cancelled, it leaves the
# log and the destination alone. The log is read only once the window has
# dealt with the cancel: it answers the probe between handlers.
probe click-cancel.txt click "$caption" "$link" || fail "click: $(cat "$work/click-cancel.txt")"
probe cancel.txt dialog "$open_title" 30 cancel
expect_answer cancel.txt "open dialog again: the first filter kept, cancelled" <<EOF
owner|$caption
file name|　
filter|1|Jw_cad 図面ファイル(win)|全てのファイル(*.*)
cancelled
EOF
probe cancel-log.txt log "$caption" 6 60
diff -q "$work/open-log.txt" "$work/cancel-log.txt" >/dev/null &&
  pass "cancelled open dialog: the log unchanged" ||
  fail "cancelled open dialog changed the log: $(cat "$work/cancel-log.txt")"
[ "$(names_in "$ddest")" = "copy.jww sample.jww " ] &&
  pass "cancelled open dialog: nothing converted" ||
  fail "after the cancelled open dialog $ddest holds $(names_in "$ddest")"

mkdir -p "$browsed"
probe click-browse.txt click "$caption" "参照" || fail "click: $(cat "$work/click-browse.txt")"
probe browse.txt dialog "$save_title" 30 name 'browsed\　' open
expect_answer browse.txt "参照: save dialog with \"　\", into browsed" <<EOF
owner|$caption
file name|　
name browsed\\　
closed
EOF
probe browse-controls.txt controls "$caption"
grep -qxF "Edit|visible||$(winpath "$browsed")\\" "$work/browse-controls.txt" &&
  pass "参照: the field shows $(winpath "$browsed")\\" ||
  fail "参照: the field shows $(grep '^Edit' "$work/browse-controls.txt")"
probe click-browse2.txt click "$caption" "参照" || fail "click: $(cat "$work/click-browse2.txt")"
probe browse2.txt dialog "$save_title" 30 cancel
grep -qx cancelled "$work/browse2.txt" || fail "参照 again: $(cat "$work/browse2.txt")"
probe browse2-controls.txt controls "$caption"
grep -qxF "Edit|visible||$(winpath "$browsed")\\" "$work/browse2-controls.txt" &&
  pass "参照 cancelled: the field unchanged" ||
  fail "参照 cancelled: the field shows $(grep '^Edit' "$work/browse2-controls.txt")"

probe close-dialog.txt close "$caption" 60 || fail "close: $(cat "$work/close-dialog.txt")"
wait_app 60
[ "$(dat_line "$dprog" 8)" = "$(winpath "$pick")\\" ] &&
  pass "marrowfold.dat line 8: the folder of the chosen drawings" ||
  fail "marrowfold.dat line 8 is \"$(dat_line "$dprog" 8)\", not $(winpath "$pick")\\"
[ "$(dat_line "$dprog" 9)" = 1 ] && pass "marrowfold.dat line 9: the filter index 1" ||
  fail "marrowfold.dat line 9 is \"$(dat_line "$dprog" 9)\", not 1"
[ "$(dat_line "$dprog" 6),$(dat_line "$dprog" 7)" = "1,$(winpath "$browsed")\\" ] &&
  pass "marrowfold.dat lines 6 and 7: the given folder from 参照" ||
  fail "marrowfold.dat lines 6 and 7 are $(dat_line "$dprog" 6),$(dat_line "$dprog" 7)"
echo "open and save dialog test: $((SECONDS - t)) s"

# ------------------------------------------------------------------ 毎回指定
t=$SECONDS
eprog="$work/prog-every"
start="$work/every-start"
every="$start/every"
mkdir -p "$eprog" "$start" "$every"
cp "$win/marrowfold.exe" "$eprog/"
# No destination but 毎回指定; the folder picked last is $start.
printf '%s\r\n' 100 80 0 0 0 0 "" "" 1 0 1 0 1 "$(winpath "$start")\\" >"$eprog/marrowfold.dat"
start_app "$eprog" "$(winpath "$work/d1/sample.jww")" "$(winpath "$pick/copy.jww")"
probe every.txt dialog "$save_title" 60 name 'every\　' open
expect_answer every.txt "毎回指定, command line: save dialog with \"　\", into every" <<EOF
owner|$caption
file name|　
name every\\　
closed
EOF
probe every-log.txt log "$caption" 6 60
{
  log_lines "$work/d1/sample.jww" "$every/sample.jww"
  log_lines "$pick/copy.jww" "$every/copy.jww"
} | expect_answer every-log.txt "毎回指定, command line: the six log lines"
for name in sample.jww copy.jww; do
  if [ -f "$every/$name" ]; then check_drawing "$every/$name"; else fail "$every/$name missing"; fi
done

# The next batch asks again, in the folder picked last: "　" alone lands
# there.
probe click-every2.txt click "$caption" "$link" || fail "click: $(cat "$work/click-every2.txt")"
probe every2-open.txt dialog "$open_title" 30 name "$(winpath "$pick/sample.jww")" open
grep -qx closed "$work/every2-open.txt" || fail "open dialog: $(cat "$work/every2-open.txt")"
probe every2.txt dialog "$save_title" 30 name '　' open
grep -qx closed "$work/every2.txt" || fail "毎回指定 again: $(cat "$work/every2.txt")"
probe every2-log.txt log "$caption" 3 60
log_lines "$pick/sample.jww" "$every/sample~1.jww" |
  expect_answer every2-log.txt "毎回指定, open dialog: asked again, in the folder picked last"

# Cancelled, the folder dialog ends the batch before the log is cleared.
probe click-every3.txt click "$caption" "$link" || fail "click: $(cat "$work/click-every3.txt")"
probe every3-open.txt dialog "$open_title" 30 name "$(winpath "$pick/copy.jww")" open
grep -qx closed "$work/every3-open.txt" || fail "open dialog: $(cat "$work/every3-open.txt")"
probe every3.txt dialog "$save_title" 30 cancel
grep -qx cancelled "$work/every3.txt" || fail "毎回指定 cancelled: $(cat "$work/every3.txt")"
probe every3-log.txt log "$caption" 3 60
diff -q "$work/every2-log.txt" "$work/every3-log.txt" >/dev/null &&
  [ "$(names_in "$every")" = "copy.jww sample.jww sample~1.jww " ] &&
  pass "毎回指定 cancelled: the batch ended, the log unchanged" ||
  fail "毎回指定 cancelled: log $(cat "$work/every3-log.txt"), $every holds $(names_in "$every")"

probe close-every.txt close "$caption" 60 || fail "close: $(cat "$work/close-every.txt")"
wait_app 60
[ "$(dat_line "$eprog" 3)$(dat_line "$eprog" 4)$(dat_line "$eprog" 5)$(dat_line "$eprog" 6)" = \
  0000 ] && [ "$(dat_line "$eprog" 13)" = 1 ] && pass "marrowfold.dat: 毎回指定 kept" ||
  fail "marrowfold.dat lines 3-6 and 13: $(sed -n '3,6p;13p' "$eprog/marrowfold.dat" | tr -d '\r' |
    tr '\n' ' ')"
[ "$(dat_line "$eprog" 14)" = "$(winpath "$every")\\" ] &&
  pass "marrowfold.dat line 14: the folder picked last" ||
  fail "marrowfold.dat line 14 is \"$(dat_line "$eprog" 14)\", not $(winpath "$every")\\"
echo "毎回指定 dialog test: $((SECONDS - t)) s"
