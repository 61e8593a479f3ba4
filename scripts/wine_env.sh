# shellcheck shell=bash
# Sourced by the Windows test scripts: a Wine prefix of our own, Japanese
# locale and fonts, and (on request) a virtual X display.
#   source scripts/wine_env.sh        the functions alone (wine_install_needs)
#   source scripts/wine_env.sh DIR    also: whether 32-bit programs run here
#                                     and how (wine_check_32bit), and a
#                                     64-bit prefix in DIR/prefix
#   wine_enter_32bit SCRIPT ARGS...   runs SCRIPT again where 32-bit programs
#                                     run, when that is a namespace of its own
#   wine_start_display                Xvfb on a free display, sets DISPLAY
#   wine_stop                         ends wineserver and Xvfb
# Every wine call goes through `wine_run SECONDS PROGRAM ARGS...`, which
# starts an i686 program with the 32-bit loader and everything else with
# wine64, or "$wine_loader" (wine64) where it must be started otherwise.
#
# Some kernels refuse 32-bit executables (no IA-32 emulation). There the
# 32-bit programs run through qemu-i386 (scripts/wine32.sh), in a private
# namespace whose binfmt_misc hands it every i386 ELF program: Wine's 32-bit
# loader and, through it, the i686 programs. Where neither works, Wine is
# used 64-bit alone. wine_runs_32bit tells which; the scripts report every
# 32-bit run they leave out, with $wine_no_32bit_reason.

wine_install_needs() {
  local need=()
  command -v wine >/dev/null || need+=(wine wine64 wine32:i386)
  # Without it the launcher falls back on the 64-bit loader, and every
  # 32-bit program fails with a misleading message.
  [ -e /usr/lib/wine/wine ] || [ "$(dpkg --print-architecture)" != amd64 ] || need+=(wine32:i386)
  command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(mingw-w64)
  [ -f /usr/i686-w64-mingw32/include/zlib.h ] || need+=(libz-mingw-w64-dev)
  [ -d /usr/src/googletest ] || need+=(googletest)
  [ -d /usr/share/wine/fonts ] || need+=(fonts-wine)
  [ -d /usr/share/fonts/opentype/ipafont-gothic ] || need+=(fonts-ipafont-gothic)
  command -v Xvfb >/dev/null || need+=(xvfb xauth)
  command -v xwininfo >/dev/null || need+=(x11-utils)
  # The screenshots need import as well; a convert alone may be some other.
  command -v convert >/dev/null && command -v import >/dev/null || need+=(imagemagick)
  command -v zip >/dev/null || need+=(zip)
  command -v locale-gen >/dev/null || need+=(locales)
  if [ ${#need[@]} -gt 0 ]; then
    echo "installing: ${need[*]}"
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    source "$wine_root/scripts/apt_install.sh"
    apt_install "${need[@]}"
  fi
  if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
    sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >>/etc/locale.gen
    locale-gen >/dev/null
  fi
}

wine_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
wine32_loader=/usr/lib/wine/wine
wine64_loader=$(command -v wine64 || echo /usr/lib/wine/wine64)
# For builtins (reg, explorer, wineboot) and the 64-bit programs; a 64-bit
# process starts its 32-bit children with the 32-bit loader beside it.
wine_loader=$wine64_loader

# Sets MARROWFOLD_WINE32 to "native" or "qemu" when a real 32-bit Windows
# program runs here, and how, or to "no: WHY". The program is our own
# build-win32/marrowfold-cli.exe --version, under a time limit, in the unit
# tests' prefix (build-win32/wine/prefix, made there and then if need be):
# first natively, unless the kernel refuses the 32-bit loader, then through
# qemu-i386 (scripts/wine32.sh). MARROWFOLD_WINE32_VIA=native or qemu tries
# only that way. Exported, with MARROWFOLD_WINE32_HOW (how, in words), so
# the scripts a test run starts ask only once.
wine_check_32bit() {
  [ -n "${MARROWFOLD_WINE32:-}" ] && return 0
  local via=${MARROWFOLD_WINE32_VIA:-auto} dir="$wine_root/build-win32/wine" native qemu out
  local probe="$wine_root/build-win32/marrowfold-cli.exe"
  case $via in
    auto | native | qemu) ;;
    *)
      echo "MARROWFOLD_WINE32_VIA is auto, native or qemu, not \"$via\"" >&2
      return 2
      ;;
  esac
  MARROWFOLD_WINE32_HOW=
  if [ ! -f "$probe" ]; then
    MARROWFOLD_WINE32="no: $probe, which tells, is not built"
  else
    if [ "$via" != qemu ]; then
      if out=$(wine_try_32bit "$dir"); then
        if [ -n "${MARROWFOLD_WINE32_NS:-}" ]; then
          # Already in the namespace of scripts/wine32.sh.
          MARROWFOLD_WINE32=qemu
          MARROWFOLD_WINE32_HOW="through $("$MARROWFOLD_WINE32_NS" --version | head -n1) ($out)"
        else
          MARROWFOLD_WINE32=native
          MARROWFOLD_WINE32_HOW="natively ($out)"
        fi
      fi
      native="natively: $out"
    fi
    if [ -z "${MARROWFOLD_WINE32:-}" ] && [ "$via" != native ]; then
      if out=$(MARROWFOLD_WINE32=trying bash "$wine_root/scripts/wine32.sh" run \
        bash -c 'source "$1/scripts/wine_env.sh" && wine_try_32bit "$2"' check \
        "$wine_root" "$dir" 2>&1); then
        MARROWFOLD_WINE32=qemu
        MARROWFOLD_WINE32_HOW="through $("$wine_root/build-win32/qemu-user/qemu-i386" --version |
          head -n1) in a namespace of their own (${out##*$'\n'})${native:+; not $native}"
      fi
      qemu="through qemu-i386: $(tail -n1 <<<"$out")"
    fi
    [ -n "${MARROWFOLD_WINE32:-}" ] || MARROWFOLD_WINE32="no: ${native:-}${native:+${qemu:+; }}${qemu:-}"
  fi
  export MARROWFOLD_WINE32 MARROWFOLD_WINE32_HOW
}

# Starts the 32-bit probe where this process is (natively, or in the
# namespace of scripts/wine32.sh), in the prefix DIR/prefix, made first if
# need be. Prints what it said, or why it failed on the last line.
wine_try_32bit() {
  local out rc
  # A kernel that refuses it says so at once; no prefix is made for nothing.
  out=$(LC_ALL=C bash -c '"$1" --version' check "$wine32_loader" 2>&1) && rc=0 || rc=$?
  if [ "$rc" -ne 0 ]; then
    # "check: line 1: /usr/lib/wine/wine: cannot execute binary file: Exec
    # format error": the kernel's answer.
    [ "$rc" -eq 126 ] && out="$wine32_loader: ${out##*"$wine32_loader": }"
    echo "$(head -n1 <<<"$out") (status $rc)"
    return 1
  fi
  # The log is opened before the prefix is made, so its folder first.
  mkdir -p "$1"
  (
    wine_prefix "$1"
    wine_prepare_prefix
    cd "$wine_root/build-win32" &&
      timeout --kill-after=10 180 "$wine32_loader" ./marrowfold-cli.exe --version 2>&1
  ) >"$1/check.log" 2>&1 && rc=0 || rc=$?
  out=$(tr -d '\r' <"$1/check.log")
  if [ "$rc" -eq 0 ] && [[ $out == *"Marrowfold Ver."* ]]; then
    grep -m1 'Marrowfold Ver\.' <<<"$out"
    return 0
  fi
  [ "$rc" -eq 124 ] && out="no end within 180 s"
  echo "marrowfold-cli.exe --version failed (status $rc): $(tail -n3 <<<"$out" | tr '\n' ' ')"
  return 1
}

# 0 when 32-bit programs run here.
wine_runs_32bit() { [ "${MARROWFOLD_WINE32:-}" = native ] || [ "${MARROWFOLD_WINE32:-}" = qemu ]; }

# Where 32-bit programs run through qemu-i386, runs the script SCRIPT again
# with ARGS in the namespace where they do (once: inside, nothing happens).
wine_enter_32bit() {
  if [ "${MARROWFOLD_WINE32:-}" = qemu ] && [ -z "${MARROWFOLD_WINE32_NS:-}" ]; then
    exec bash "$wine_root/scripts/wine32.sh" run bash "$@"
  fi
}

# The prefix DIR/prefix: always 64-bit (WoW64), made with wine64, so the
# x86_64 programs never go through the 32-bit loader, and the i686 ones run
# in it where 32-bit programs run at all.
wine_prefix() {
  local dir
  dir=$(mkdir -p "$1" && cd "$1" && pwd)
  export WINEPREFIX="$dir/prefix" WINEARCH=win64
}

wine_env_setup() {
  wine_check_32bit || return
  wine_no_32bit_reason=
  wine_runs_32bit ||
    wine_no_32bit_reason="no 32-bit program runs on this machine (${MARROWFOLD_WINE32#no: })"
  wine_prefix "$1"
}

export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
wine_xvfb_pid=

# The loader for PROGRAM: the 32-bit one for an i686 program, wine64 for
# every other (x86_64 programs, and builtins named without a path).
wine_loader_for() {
  if [ "$(wine_pe_arch "$1")" = i686 ]; then
    echo "$wine32_loader"
  else
    echo "$wine64_loader"
  fi
}

wine_run() {
  local seconds=$1
  shift
  timeout --kill-after=10 "$seconds" "$(wine_loader_for "$1")" "$@"
}

# The architecture a Windows program was built for: i686, x86_64 or unknown
# (the Machine field of its PE header).
wine_pe_arch() {
  local pe machine=
  pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || true
  if [ -n "$pe" ]; then
    machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$1" 2>/dev/null | tr -d ' ') || true
  fi
  case $machine in
    014c) echo i686 ;;
    8664) echo x86_64 ;;
    *) echo unknown ;;
  esac
}

# Makes the prefix if it is not there yet, with wine64; where the 32-bit
# loader runs, its 32-bit half is set up too. One made where the loader did
# not run (or did) is made again where that changed.
wine_prepare_prefix() {
  local can32=no mark="$WINEPREFIX/marrowfold-32bit"
  "$wine32_loader" --version >/dev/null 2>&1 && can32=yes
  if [ -f "$WINEPREFIX/system.reg" ] && [ "$(cat "$mark" 2>/dev/null)" != "$can32" ]; then
    timeout 30 wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    timeout --kill-after=10 300 "$wine64_loader" wineboot -i >/dev/null 2>&1 || true
    timeout 60 wineserver -w || true
    echo "$can32" >"$mark"
  fi
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  cp -n /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true
  cp -n /usr/share/fonts/opentype/ipafont-gothic/*.ttf "$fonts/" 2>/dev/null || true
}

wine_start_display() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    wine_xvfb_pid=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 100); do
      xwininfo -root >/dev/null 2>&1 && return 0
      sleep 0.1
    done
    kill "$wine_xvfb_pid" 2>/dev/null
    wine_xvfb_pid=
  done
  echo "no X display could be started" >&2
  return 1
}

wine_stop() {
  timeout 30 wineserver -k 2>/dev/null || true
  if [ -n "$wine_xvfb_pid" ]; then
    kill "$wine_xvfb_pid" 2>/dev/null || true
    wait "$wine_xvfb_pid" 2>/dev/null || true
    wine_xvfb_pid=
  fi
}

if [ $# -gt 0 ]; then
  wine_env_setup "$1"
fi
