# shellcheck shell=bash disable=SC2154  # the variables of window_test.sh
# The zip users get (out/release/marrowfold-win32.zip, when it is there):
# its files, its README readable as Shift-JIS, its programs 32-bit, and the
# window program started from the unpacked folder, which must take
# marrowfold.dat beside itself and write it back there (not where the kernel
# refuses 32-bit programs: said so, and the rest still checked). Sourced by
# tests/win/window_test.sh, whose helpers and folders it uses.

zip="$root/out/release/marrowfold-win32.zip"
if [ ! -f "$zip" ]; then
  echo "release zip: not built, skipped (bash scripts/release.sh)"
  return 0
fi
t=$SECONDS
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
  echo "release zip: the unpacked marrowfold.exe not started, skipped: $wine_no_32bit_reason"
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
echo "release zip test: $((SECONDS - t)) s"
