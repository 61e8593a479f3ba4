# Sourced by the Windows test scripts: a Wine prefix of our own, Japanese
# locale and fonts, and (on request) a virtual X display.
#   source scripts/wine_env.sh DIR   prefix in DIR/prefix (DIR/prefix64
#                                    where 32-bit programs cannot run)
#   wine_start_display               Xvfb on a free display, sets DISPLAY
#   wine_stop                        ends wineserver and Xvfb
# Every wine call goes through `wine_run SECONDS PROGRAM ARGS...`, or
# "$wine_loader" where it must be started otherwise.
#
# Some kernels refuse 32-bit executables (no IA-32 emulation). There the
# 32-bit Wine loader cannot start, so neither can the i686 programs, and
# Wine is used 64-bit alone. wine_runs_32bit tells which; the scripts report
# every 32-bit run they leave out, with $wine_no_32bit_reason.

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
    export DEBIAN_FRONTEND=noninteractive
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    apt-get update -qq
    apt-get install -y -qq "${need[@]}" >/dev/null
  fi
  if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
    sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >>/etc/locale.gen
    locale-gen >/dev/null
  fi
}

# Sets MARROWFOLD_WINE32 to "yes", or to "no: WHY" when the 32-bit Wine
# loader cannot be executed at all. Decided by trying it, not by the kernel's
# version; exported, so the scripts a test run starts ask only once. Only a
# refused execution (status 126: "Exec format error") counts as no: a loader
# missing or broken in some other way leaves it at yes, and the 32-bit runs
# then fail, as they must.
wine_check_32bit() {
  [ -n "${MARROWFOLD_WINE32:-}" ] && return 0
  local loader=/usr/lib/wine/wine out rc
  out=$(LC_ALL=C timeout --kill-after=5 20 bash -c 'exec "$1" --version' check "$loader" 2>&1) &&
    rc=0 || rc=$?
  if [ "$rc" -eq 126 ]; then
    # "check: line 1: /usr/lib/wine/wine: cannot execute binary file: Exec
    # format error": the loader and the kernel's answer.
    out=$(head -n1 <<<"$out")
    MARROWFOLD_WINE32="no: $loader: ${out##*"$loader": }"
  else
    MARROWFOLD_WINE32=yes
  fi
  export MARROWFOLD_WINE32
}

# 0 when 32-bit programs run here.
wine_runs_32bit() { [ "$MARROWFOLD_WINE32" = yes ]; }

wine_check_32bit
wine_no_32bit_reason=
wine_env_dir=$(mkdir -p "$1" && cd "$1" && pwd)
if wine_runs_32bit; then
  wine_loader=wine
  export WINEPREFIX="$wine_env_dir/prefix"
else
  wine_no_32bit_reason="this machine cannot execute 32-bit programs (${MARROWFOLD_WINE32#no: })"
  # The launcher "wine" would pick the 32-bit loader whenever it is
  # installed. A prefix of its own: one made by 32-bit Wine before stays as
  # it was.
  wine_loader=$(command -v wine64 || echo /usr/lib/wine/wine64)
  export WINELOADER=$wine_loader WINEARCH=win64
  export WINEPREFIX="$wine_env_dir/prefix64"
fi
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
wine_xvfb_pid=

wine_run() {
  local seconds=$1
  shift
  timeout --kill-after=10 "$seconds" "$wine_loader" "$@"
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

wine_prepare_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    if wine_runs_32bit; then
      timeout --kill-after=10 180 wineboot -i >/dev/null 2>&1 || true
    else
      timeout --kill-after=10 180 "$wine_loader" wineboot -i >/dev/null 2>&1 || true
    fi
    timeout 60 wineserver -w || true
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
