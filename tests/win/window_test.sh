#!/usr/bin/env bash
# The window program under Wine on a virtual display:
#   the layout at four DPIs (marrowfold-layout-test.exe);
#   a batch of three drawings from the command line: the nine log lines,
#   the converted drawings, the controls' texts, screenshots of both pages,
#   and on closing the settings file written and the work folder removed;
#   the external-transformation mode ("-G"): its message, TEMP.JWW, the
#   end of the process; and "-G" without JWC_TEMP.TXT;
#   a drawing named with a character Shift-JIS lacks (café.jww) converted
#   into a destination named so too (𠮷田, from the settings' 15th line);
#   the window at 150 % (LogPixels 144);
#   the file dialogs behind the blue line, "参照" and "毎回指定"
#   (tests/win/dialog_test.sh).
# Screenshots go to WIN_BUILD_DIR/window-test/. Exit status 0 only when
# every check passed. Either build will do; where the kernel refuses 32-bit
# programs, the i686 one runs through qemu-i386 (scripts/wine32.sh), and
# where that fails too, only the x86_64 one can: a 32-bit one is refused
# (status 2).
#
#   tests/win/window_test.sh LINUX_BUILD_DIR WIN_BUILD_DIR
set -uo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 LINUX_BUILD_DIR WIN_BUILD_DIR" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
linux=$(cd "$1" && pwd)
win=$(cd "$2" && pwd)
out="$win/window-test"
work="$out/work"
caption="Marrowfold Ver.1.3"
started=$SECONDS

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

for f in "$win/marrowfold.exe" "$win/marrowfold-probe.exe" "$win/marrowfold-layout-test.exe" \
  "$linux/marrowfold" "$linux/marrowfold-sample"; do
  [ -f "$f" ] || {
    echo "missing $f (build it first)" >&2
    exit 2
  }
done

rm -rf "$out"
mkdir -p "$work"
source "$root/scripts/wine_env.sh" "$win/wine-window-test"
wine_enter_32bit "$root/tests/win/window_test.sh" "$@"
arch=$(wine_pe_arch "$win/marrowfold.exe")
if [ "$arch" = i686 ] && ! wine_runs_32bit; then
  echo "window tests: $win/marrowfold.exe is a 32-bit program, and $wine_no_32bit_reason;" \
    "give the x86_64 build (build-win64)" >&2
  exit 2
fi
echo "window tests: $win/marrowfold.exe ($arch)"
wine_prepare_prefix
wine_start_display || exit 2
trap wine_stop EXIT

# The prefix's drive Z: is the root of this system.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Runs the probe in the desktop "mf"; its answer is in $work/$1.
probe() {
  local name=$1
  shift
  wine_run 120 "$win/marrowfold-probe.exe" --desktop mf "$(winpath "$work/$name")" "$@" \
    >/dev/null 2>&1
  local status=$?
  [ -f "$work/$name" ] || echo "error: the probe wrote nothing (status $status)" >"$work/$name"
  return $status
}

set_dpi() {
  wine_run 60 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
    >/dev/null 2>&1 || fail "LogPixels $1 could not be set"
}

# Starts marrowfold.exe from program folder $1 with the remaining arguments,
# in the background, on the desktop "mf"; its wine process is $app.
app=
start_app() {
  local folder=$1
  shift
  (cd "$folder" && exec timeout --kill-after=10 300 "$wine_loader" explorer /desktop=mf,1024x768 \
    marrowfold.exe "$@" >"$work/wine.log" 2>&1) &
  app=$!
}

# Waits for the X window of the caption; sets $geometry to WxH+X+Y.
geometry=
wait_window() {
  local deadline=$((SECONDS + $1)) line
  geometry=
  while [ $SECONDS -lt $deadline ]; do
    line=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$caption\"" | head -n1)
    if [ -n "$line" ]; then
      geometry=$(sed -E 's/.*\) +([0-9]+x[0-9]+)\+-?[0-9]+\+-?[0-9]+ +\+(-?[0-9]+)\+(-?[0-9]+).*/\1+\2+\3/' <<<"$line")
      return 0
    fi
    sleep 0.2
  done
  return 1
}

# The window's place is read again: start-up moves it, a DPI resizes it.
screenshot() {
  wait_window 10 || fail "the window is gone before the screenshot $1"
  import -window root "$work/root.png" && convert "$work/root.png" -crop "$geometry" +repage "$1" &&
    pass "screenshot $1 ($geometry)" || fail "no screenshot $1"
}

# Waits for the background wine process to end.
wait_app() {
  local deadline=$((SECONDS + $1))
  while kill -0 "$app" 2>/dev/null; do
    if [ $SECONDS -ge $deadline ]; then
      fail "the program did not end within $1 s"
      return 1
    fi
    sleep 0.2
  done
  wait "$app" 2>/dev/null
  return 0
}

# The converted drawing loads: version 7.00 with its images.
check_drawing() {
  local info
  if info=$("$linux/marrowfold" --info "$1" 2>&1) && grep -q 'version 7.00' <<<"$info"; then
    pass "$(basename "$1") loads: $(grep -o 'embedded images ([0-9]*)' <<<"$info")"
  else
    fail "$1 does not load: $info"
  fi
}

check_settings_written() {
  local dat="$1/marrowfold.dat"
  if [ ! -f "$dat" ]; then
    fail "$dat was not written"
    return
  fi
  local lines crs
  lines=$(wc -l <"$dat")
  crs=$(tr -cd '\r' <"$dat" | wc -c)
  [ "$lines" -eq 14 ] && [ "$crs" -eq 14 ] && pass "marrowfold.dat: 14 lines, CR LF" ||
    fail "marrowfold.dat has $lines lines and $crs CRs, not 14"
}

check_work_folder_removed() {
  [ ! -e "$1/TEMP" ] && pass "work folder TEMP removed" || fail "$1/TEMP is still there"
}

# Settings that choose the destination folder $2 (RadioButton4, Edit1) with
# the window at 100,80; LabelPreFolder is the program folder $1.
write_settings() {
  printf '%s\r\n' 100 80 0 0 0 1 "$(winpath "$2")" "" 1 0 1 0 0 "$(winpath "$1")\\" \
    >"$1/marrowfold.dat"
}

# ------------------------------------------------------------------ layout
set_dpi 96
if wine_run 180 "$win/marrowfold-layout-test.exe" >"$work/layout.txt" 2>&1; then
  pass "layout at 96, 120, 144 and 192 DPI ($(head -n1 "$work/layout.txt"))"
else
  fail "layout:"
  sed 's/^/    /' "$work/layout.txt"
fi

# ------------------------------------------------------------------ batch
t=$SECONDS
for d in d1 d2 d3; do
  "$linux/marrowfold-sample" "$work/$d" >/dev/null || fail "marrowfold-sample $d"
done
# What the command reports for the same drawing is what the window must.
mkdir -p "$work/linux-out" "$work/linux-home"
expected_result=$("$linux/marrowfold" --home "$work/linux-home" --dest-dir "$work/linux-out" \
  "$work/d1/sample.jww" 2>/dev/null | sed -n 3p)
[ -n "$expected_result" ] || fail "the command gave no result line for the sample"

prog="$work/prog"
dest="$work/dest"
mkdir -p "$prog" "$dest"
cp "$win/marrowfold.exe" "$prog/"
write_settings "$prog" "$dest"
start_app "$prog" "$(winpath "$work/d1/sample.jww")" "$(winpath "$work/d2/sample.jww")" \
  "$(winpath "$work/d3/sample.jww")"
if wait_window 60; then
  pass "window shown: $geometry"
else
  fail "no window \"$caption\" within 60 s"
fi

probe log.txt log "$caption" 9 120 || fail "log: $(cat "$work/log.txt")"
{
  for i in 1 2 3; do
    n=("" "" "~1" "~2")
    winpath "$work/d$i/sample.jww"
    echo
    echo "→ $(winpath "$dest/sample${n[$i]}.jww")"
    echo "$expected_result"
  done
} >"$work/log-expected.txt"
if diff "$work/log-expected.txt" "$work/log.txt" >"$work/log.diff"; then
  pass "the nine log lines"
else
  fail "log lines differ (expected, got):"
  sed 's/^/    /' "$work/log.diff"
fi
for name in sample.jww sample~1.jww sample~2.jww; do
  if [ -f "$dest/$name" ]; then check_drawing "$dest/$name"; else fail "$dest/$name missing"; fi
done

probe controls.txt controls "$caption" || fail "controls: $(cat "$work/controls.txt")"
missing=0
while IFS= read -r expected; do
  grep -qxF -- "$expected" "$work/controls.txt" && continue
  fail "no control \"$expected\""
  missing=$((missing + 1))
done <<EOF
Button|visible||保存先(&F)
Button|visible||デスクトップ
Button|visible||マイドキュメント
Button|visible||元ファイルのフォルダ
Button|visible|checked|指定フォルダ
Button|visible||毎回指定
Edit|visible||$(winpath "$dest")
Button|visible||参照
Static|visible||$(winpath "$prog")\\
Static|visible||エクスプローラ等からドラッグ＆ドロップするか、または、
Static|visible||ここをクリックして変換するファイルを選択して下さい。
Static|hidden||
Button|hidden||画像ファイルが見つからない画像参照文字を無効化する
Static|hidden||（^@BM～ → _@BM～　及び　補助線色化）
Button|hidden||画像ファイル名
Button|hidden|checked|パス名を含むファイル名
Button|hidden||そのままのファイル名
Static|hidden||（同じファイル名で日時・サイズが異なる場合は枝番追加）
Static|hidden||画像ファイルをそのままの形式で画像同梱し Ver.7形式で変換します
Static|hidden||（※既に画像同梱されているものは対象外）
Static|hidden||※外部変形時は、外部変形のフォルダ内にTEMP.JWWを作成し、開きます
ListBox|visible||
tab selected|1
msctls_statusbar32|visible||※保存先フォルダに同じ名前のファイルが存在する場合は名前に枝番が付きます
EOF
[ "$missing" -eq 0 ] && pass "control texts, the destination from the settings, the log page shown"

probe redraw.txt redraw "$caption"
screenshot "$out/window-log.png"
probe page.txt page "$caption" 0 || fail "page: $(cat "$work/page.txt")"
screenshot "$out/window-settings.png"

probe close.txt close "$caption" 60 || fail "close: $(cat "$work/close.txt")"
wait_app 60
check_settings_written "$prog"
line() { sed -n "${1}p" "$prog/marrowfold.dat" | tr -d '\r'; }
[ "$(line 1),$(line 2)" = "100,80" ] && pass "position kept: 100,80" ||
  fail "position saved as $(line 1),$(line 2), not 100,80"
[ "$(line 6)" = 1 ] && [ "$(line 7)" = "$(winpath "$dest")" ] && pass "destination kept" ||
  fail "destination saved as $(line 6) $(line 7)"
check_work_folder_removed "$prog"
echo "batch test: $((SECONDS - t)) s"

# ------------------------------------------------------------------ names Shift-JIS lacks
t=$SECONDS
cp "$work/d1/sample.jww" "$work/d1/café.jww"
uni="$work/prog-unicode"
udest="$work/𠮷田"
mkdir -p "$uni" "$udest"
cp "$win/marrowfold.exe" "$uni/"
# CP932 has no 𠮷: the destination lies in the settings' fifteenth line,
# its own line left empty.
printf '%s\r\n' 100 80 0 0 0 1 "" "" 1 0 1 0 0 "$(winpath "$uni")\\" \
  "UTF-8	$(winpath "$udest")		$(winpath "$uni")\\" >"$uni/marrowfold.dat"
start_app "$uni" "$(winpath "$work/d1/café.jww")" "$(winpath "$work/d2/sample.jww")"
probe unicode-log.txt log "$caption" 6 90 || fail "log: $(cat "$work/unicode-log.txt")"
[ "$(head -n1 "$work/unicode-log.txt")" = "$(winpath "$work/d1/café.jww")" ] &&
  [ "$(sed -n 2p "$work/unicode-log.txt")" = "→ $(winpath "$udest/café.jww")" ] &&
  [ "$(sed -n 3p "$work/unicode-log.txt")" = "$expected_result" ] &&
  pass "café.jww from the command line converted into 𠮷田" ||
  fail "log of café.jww: $(cat "$work/unicode-log.txt")"
[ -f "$udest/café.jww" ] && [ -f "$udest/sample.jww" ] && pass "both drawings written into 𠮷田" ||
  fail "𠮷田 holds: $(ls "$udest")"
screenshot "$out/window-unicode-log.png"
probe close-unicode.txt close "$caption" 60 || fail "close: $(cat "$work/close-unicode.txt")"
wait_app 60
[ "$(sed -n 7p "$uni/marrowfold.dat" | tr -d '\r')" = "" ] &&
  sed -n 15p "$uni/marrowfold.dat" | grep -qF "$(winpath "$udest")" &&
  pass "the settings keep 𠮷田 in their fifteenth line" ||
  fail "settings written: $(tr '\r\t' ' |' <"$uni/marrowfold.dat")"
echo "unicode test: $((SECONDS - t)) s"

# ------------------------------------------------------------------ -G
t=$SECONDS
ext="$work/external"
mkdir -p "$ext"
cp "$win/marrowfold.exe" "$ext/"
printf 'hq\r\nfile=%s\r\nhk 0\r\nlg0\r\nly0\r\n' "$(winpath "$work/d1/sample.jww")" \
  >"$ext/JWC_TEMP.TXT"
start_app "$ext" -G
probe message.txt message 90 exit 60 || fail "-G message: $(cat "$work/message.txt")"
expected_ok=${expected_result#"　…… "}
if [ "$(cat "$work/message.txt")" = "$expected_ok" ]; then
  pass "-G message: $expected_ok"
else
  fail "-G message \"$(cat "$work/message.txt")\", not \"$expected_ok\""
fi
wait_app 60 && pass "-G: the program ended"
if [ -f "$ext/TEMP.JWW" ]; then check_drawing "$ext/TEMP.JWW"; else fail "-G wrote no TEMP.JWW"; fi
check_settings_written "$ext"
check_work_folder_removed "$ext"

rm -f "$ext/JWC_TEMP.TXT" "$ext/TEMP.JWW"
start_app "$ext" /g
probe message2.txt message 90 exit 60 || fail "-G message: $(cat "$work/message2.txt")"
[ "$(cat "$work/message2.txt")" = "外部変形実行前に図面をJWW形式で保存して下さい。" ] &&
  pass "-G without JWC_TEMP.TXT: $(cat "$work/message2.txt")" ||
  fail "-G without JWC_TEMP.TXT said \"$(cat "$work/message2.txt")\""
wait_app 60
[ ! -e "$ext/TEMP.JWW" ] || fail "-G without JWC_TEMP.TXT wrote TEMP.JWW"
check_work_folder_removed "$ext"
echo "external test: $((SECONDS - t)) s"

# ------------------------------------------------------------------ 150 %
t=$SECONDS
set_dpi 144
big="$work/prog150"
mkdir -p "$big"
cp "$win/marrowfold.exe" "$big/"
write_settings "$big" "$dest"
start_app "$big"
if wait_window 60; then
  probe redraw150.txt redraw "$caption"
  wait_window 10
  w=${geometry%%x*}
  # 484 client pixels at 96 DPI are 726 at 144, and the frame grows too.
  [ "$w" -ge 726 ] && pass "150 %: window $geometry" || fail "150 %: window $geometry, not scaled"
  screenshot "$out/window-150.png"
  probe close150.txt close "$caption" 60 || fail "close at 150 %: $(cat "$work/close150.txt")"
else
  fail "150 %: no window within 60 s"
fi
wait_app 60
set_dpi 96
echo "150 % test: $((SECONDS - t)) s"

# ------------------------------------------------------------------ file dialogs
source "$root/tests/win/dialog_test.sh"

# ------------------------------------------------------------------ release zip
source "$root/tests/win/release_test.sh"

echo "window tests: $((SECONDS - started)) s, $failures failure(s)"
[ "$failures" -eq 0 ]
