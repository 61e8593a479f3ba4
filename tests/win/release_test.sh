# shellcheck shell=bash disable=SC2154  # the variables of window_test.sh
# The zip users get (out/release/marrowfold-win32.zip, when it is there):
# its files, its README readable as Shift-JIS, its programs 32-bit, and both
# programs started from the unpacked folder: the window program, which must
# take marrowfold.dat beside itself and write it back there, and the console
# program, converting a drawing with images into the very bytes the Linux
# build writes for it (not where no 32-bit program runs: said so, and the
# rest still checked). Sourced by tests/win/window_test.sh, whose helpers and
# folders it uses.

zip="$root/out/release/marrowfold-win32.zip"
if [ ! -f "$zip" ]; then
  echo "release zip: not built, skipped (bash scripts/release.sh)"
  return 0
fi
t=$SECONDS
zip_failures=$failures
unpacked="$work/release"
rm -rf "$unpacked"
mkdir -p "$unpacked"
unzip -q "$zip" -d "$unpacked" || fail "the zip does not unpack"
folder="$unpacked/Marrowfold"
listed=$(cd "$folder" && ls | sort | tr '\n' ' ')
[ "$listed" = "Marrowfold.bat README.txt marrowfold-cli.exe marrowfold.exe " ] &&
  pass "zip: $listed" || fail "zip holds: $listed"
if iconv -f CP932 -t UTF-8 "$folder/README.txt" | grep -q "外部変形"; then
  pass "README.txt reads as Shift-JIS"
else
  fail "README.txt is not Shift-JIS text about the external transformation"
fi
[ "$(tr -cd '\r' <"$folder/README.txt" | wc -c)" -eq "$(wc -l <"$folder/README.txt")" ] &&
  pass "README.txt: CR LF lines" || fail "README.txt lines are not CR LF"
for exe in marrowfold.exe marrowfold-cli.exe; do
  [ "$(wine_pe_arch "$folder/$exe")" = i686 ] && pass "zip: $exe is a 32-bit program" ||
    fail "zip: $exe is built for $(wine_pe_arch "$folder/$exe"), not i686"
done

if ! wine_runs_32bit; then
  echo "release zip: its programs not started, skipped: $wine_no_32bit_reason"
  echo "release zip test: $((SECONDS - t)) s"
  return 0
fi

# A position and a destination of its own: RadioButton3 alone.
printf '%s\r\n' 120 90 0 0 1 0 "" "" 1 0 1 0 0 "" >"$folder/marrowfold.dat"
start_app "$folder"
if wait_window 60; then
  probe release-controls.txt controls "$caption"
  grep -qxF "Button|visible|checked|元ファイルのフォルダ" "$work/release-controls.txt" &&
    pass "the unpacked program took marrowfold.dat beside it" ||
    fail "RadioButton3 is not selected from the unpacked marrowfold.dat"
  probe release-close.txt close "$caption" 60 || fail "close: $(cat "$work/release-close.txt")"
else
  fail "the unpacked program showed no window within 60 s"
fi
wait_app 60
check_settings_written "$folder"
[ "$(sed -n '1p;2p;5p' "$folder/marrowfold.dat" | tr -d '\r' | tr '\n' ' ')" = "120 90 1 " ] &&
  pass "the position and the destination written back beside it" ||
  fail "marrowfold.dat beside the unpacked program: $(tr -d '\r' <"$folder/marrowfold.dat" | tr '\n' ' ')"
[ ! -d "$folder/TEMP" ] && pass "work folder TEMP removed" || fail "TEMP left beside the unpacked program"

# The console program: the sample drawing (two images found, one missing,
# one already embedded, one in a block) with plain image names, which do not
# depend on where the drawing lies, so both systems must write the same.
rel="$work/release-cli"
mkdir -p "$rel/linux-out" "$rel/linux-home" "$rel/win-out" "$rel/win-home"
"$linux/marrowfold-sample" "$rel/drawing" >/dev/null || fail "marrowfold-sample $rel/drawing"
linux_said=$("$linux/marrowfold" --home "$rel/linux-home" --dest-dir "$rel/linux-out" \
  --plain-names "$rel/drawing/sample.jww" 2>/dev/null)
cli_start=$SECONDS
win_said=$(cd "$folder" && wine_run 120 ./marrowfold-cli.exe --home "$(winpath "$rel/win-home")" \
  --dest-dir "$(winpath "$rel/win-out")" --plain-names "$(winpath "$rel/drawing/sample.jww")" \
  2>"$rel/win-stderr.txt")
cli_status=$?
win_said=$(tr -d '\r' <<<"$win_said")
cli_took=$((SECONDS - cli_start))
[ "$cli_status" -eq 0 ] && pass "the unpacked marrowfold-cli.exe ran ($cli_took s)" ||
  fail "the unpacked marrowfold-cli.exe: status $cli_status: $win_said $(cat "$rel/win-stderr.txt")"
# Its result line, as the Linux command's ("　…… 変換しました" and the like).
[ -n "$(sed -n 3p <<<"$linux_said")" ] &&
  [ "$(sed -n 3p <<<"$win_said")" = "$(sed -n 3p <<<"$linux_said")" ] &&
  pass "marrowfold-cli.exe said: $(sed -n 3p <<<"$win_said")" ||
  fail "marrowfold-cli.exe said \"$win_said\", the Linux command \"$linux_said\""
if [ -f "$rel/win-out/sample.jww" ]; then
  check_drawing "$rel/win-out/sample.jww"
  if cmp "$rel/linux-out/sample.jww" "$rel/win-out/sample.jww"; then
    pass "marrowfold-cli.exe wrote the Linux build's bytes ($(wc -c <"$rel/win-out/sample.jww") bytes)"
  else
    fail "marrowfold-cli.exe and the Linux build wrote different drawings"
  fi
else
  fail "marrowfold-cli.exe wrote no $rel/win-out/sample.jww"
fi
# A drawing and a destination with characters Shift-JIS lacks: café.jww
# into 𠮷田, the same bytes as the Linux command writes.
cp "$rel/drawing/sample.jww" "$rel/drawing/café.jww"
mkdir -p "$rel/linux-𠮷田" "$rel/win-𠮷田"
"$linux/marrowfold" --home "$rel/linux-home" --dest-dir "$rel/linux-𠮷田" --plain-names \
  "$rel/drawing/café.jww" >/dev/null 2>&1
(cd "$folder" && wine_run 120 ./marrowfold-cli.exe --home "$(winpath "$rel/win-home")" \
  --dest-dir "$(winpath "$rel/win-𠮷田")" --plain-names "$(winpath "$rel/drawing/café.jww")" \
  >"$rel/win-cafe.txt" 2>&1)
if [ -f "$rel/win-𠮷田/café.jww" ] && cmp -s "$rel/linux-𠮷田/café.jww" "$rel/win-𠮷田/café.jww"; then
  pass "marrowfold-cli.exe converted café.jww into 𠮷田, the Linux build's bytes"
else
  fail "café.jww into 𠮷田: $(tr -d '\r' <"$rel/win-cafe.txt" | tr '\n' ' ')"
fi
if [ "$failures" -eq "$zip_failures" ]; then
  echo "release zip: passed: its marrowfold.exe read and wrote marrowfold.dat beside itself," \
    "its marrowfold-cli.exe converted the sample with images into the Linux build's bytes," \
    "café.jww into 𠮷田 too"
else
  echo "release zip: $((failures - zip_failures)) failure(s)"
fi
echo "release zip test: $((SECONDS - t)) s"
