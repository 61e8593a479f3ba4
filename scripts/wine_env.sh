# Sourced by the Windows test scripts: a Wine prefix of our own, Japanese
# locale and fonts, and (on request) a virtual X display.
#   source scripts/wine_env.sh DIR   prefix in DIR/prefix
#   wine_start_display               Xvfb on a free display, sets DISPLAY
#   wine_stop                        ends wineserver and Xvfb
# Every wine call goes through `wine_run SECONDS PROGRAM ARGS...`.

wine_install_needs() {
  local need=()
  command -v wine >/dev/null || need+=(wine wine64 wine32:i386)
  command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(mingw-w64)
  [ -f /usr/i686-w64-mingw32/include/zlib.h ] || need+=(libz-mingw-w64-dev)
  [ -d /usr/src/googletest ] || need+=(googletest)
  [ -d /usr/share/wine/fonts ] || need+=(fonts-wine)
  [ -d /usr/share/fonts/opentype/ipafont-gothic ] || need+=(fonts-ipafont-gothic)
  command -v Xvfb >/dev/null || need+=(xvfb xauth)
  command -v xwininfo >/dev/null || need+=(x11-utils)
  command -v convert >/dev/null || need+=(imagemagick)
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

wine_env_dir=$(mkdir -p "$1" && cd "$1" && pwd)
export WINEPREFIX="$wine_env_dir/prefix"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
wine_xvfb_pid=

wine_run() {
  local seconds=$1
  shift
  timeout --kill-after=10 "$seconds" wine "$@"
}

wine_prepare_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    timeout --kill-after=10 180 wineboot -i >/dev/null 2>&1 || true
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
