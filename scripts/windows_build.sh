#!/usr/bin/env bash
# Builds the Windows programs and the unit suite with MinGW-w64, Release,
# tests on, all targets: build-win32/ (i686) and build-win64/ (x86_64).
#   scripts/windows_build.sh [i686|x86_64|all]     (default: all)
# Installs what is missing first (wine_install_needs), and checks that no
# program needs a DLL beyond the system's own (the MinGW runtime and zlib
# are linked in statically) and that the programs' manifests name their own
# processor.
set -euo pipefail
cd "$(dirname "$0")/.."

which=${1:-all}
case $which in
  i686) arches=(i686) ;;
  x86_64) arches=(x86_64) ;;
  all) arches=(i686 x86_64) ;;
  *)
    echo "usage: $0 [i686|x86_64|all]" >&2
    exit 2
    ;;
esac

# The functions alone: nothing is run under Wine here.
source scripts/wine_env.sh
wine_install_needs

build_dir() { [ "$1" = i686 ] && echo build-win32 || echo build-win64; }

# Every DLL a program imports must come with Windows: none of MinGW's
# runtime (libstdc++-6, libgcc_s_*, libwinpthread-1) and no zlib1.
check_dlls() {
  local arch=$1 exe bad=0 dll
  for exe in "$(build_dir "$arch")"/*.exe; do
    while read -r dll; do
      if echo "$dll" | grep -Eqi '^(lib.*|zlib.*|.*-[0-9]+)\.dll$'; then
        echo "windows_build: $exe needs $dll, which Windows does not have" >&2
        bad=1
      fi
    done < <("$arch-w64-mingw32-objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p')
  done
  return $bad
}

# Windows does not start a program whose manifest names another processor
# ("the side-by-side configuration is incorrect"), though Wine does: every
# processorArchitecture in the manifest of each program must be "*" or its
# own (x86, amd64), and both programs must carry one.
check_manifests() {
  local arch=$1 own=x86 exe bad=0 identity named
  [ "$arch" = x86_64 ] && own=amd64
  for exe in "$(build_dir "$arch")"/marrowfold.exe "$(build_dir "$arch")"/marrowfold-cli.exe; do
    [ -f "$exe" ] || continue
    named=0
    while read -r identity; do
      named=1
      case $identity in
        *'processorArchitecture="*"'* | *"processorArchitecture=\"$own\""*) ;;
        *processorArchitecture=*)
          echo "windows_build: $exe ($arch) names another processor in its manifest, and Windows" \
            "would not start it: $identity" >&2
          bad=1
          ;;
      esac
    done < <(tr '\r\n' '  ' <"$exe" | grep -a -o '<assemblyIdentity [^>]*>')
    if [ "$named" -eq 0 ]; then
      echo "windows_build: $exe carries no manifest" >&2
      bad=1
    fi
  done
  return $bad
}

for arch in "${arches[@]}"; do
  dir=$(build_dir "$arch")
  start=$SECONDS
  # -U ZLIB_*: a cache from before the static zlib would keep zlib1.dll.
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON -U 'ZLIB_*' >/dev/null
  cmake --build "$dir" -j"$(nproc)"
  check_dlls "$arch"
  check_manifests "$arch"
  echo "windows_build: $dir ($arch) built in $((SECONDS - start)) s"
done
