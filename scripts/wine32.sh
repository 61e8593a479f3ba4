#!/usr/bin/env bash
# 32-bit programs where the kernel runs no 32-bit code: qemu-user's
# qemu-i386 runs them, registered for i386 ELF programs in a binfmt_misc of
# a private user and mount namespace, so nothing changes outside it.
#
#   scripts/wine32.sh fetch           prints the path of qemu-i386, first
#                                     fetching it if it is not there yet
#   scripts/wine32.sh run CMD ARGS... runs CMD in such a namespace (fetching
#                                     qemu-i386 first); every 32-bit program
#                                     CMD starts, and their children, then
#                                     run through qemu-i386
#
# qemu-i386 is the one of qemu-user 10 from Debian's backports for this
# release (before 10, qemu-user ignores MAP_FIXED_NOREPLACE and breaks
# Wine's threads, so Wine's 32-bit loader does not start under it). It is
# taken by package name with apt-get download, through a package list of
# its own, and unpacked with dpkg-deb into build-win32/qemu-user/: the
# system's packages and its apt sources stay as they are. A private
# binfmt_misc needs Linux 6.7 or later; the namespace, root inside it,
# needs no rights outside.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache="$root/build-win32/qemu-user"
qemu="$cache/qemu-i386"

# qemu-i386's own magic and mask (qemu-binfmt-conf.sh): 32-bit little-endian
# ELF executables and shared objects for the 80386.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

fetch() {
  if [ -x "$qemu" ] && "$qemu" --version 2>/dev/null | grep -q '^qemu-i386 version \(1[0-9]\|[2-9][0-9]\)\.'; then
    return 0
  fi
  local codename site arch
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  arch=$(dpkg --print-architecture)
  [ -n "$codename" ] || { echo "wine32: no Debian release named in /etc/os-release" >&2; return 1; }
  # The archive this system takes its own release from, as apt knows it.
  site=$(apt-get indextargets --format '$(SITE) $(RELEASE) $(TARGET_OF)' 2>/dev/null |
    awk -v r="$codename" '$2 == r && $3 == "deb" { print $1; exit }')
  if [ -z "$site" ]; then
    apt-get update -qq >/dev/null 2>&1 || true
    site=$(apt-get indextargets --format '$(SITE) $(RELEASE) $(TARGET_OF)' 2>/dev/null |
      awk -v r="$codename" '$2 == r && $3 == "deb" { print $1; exit }')
  fi
  [ -n "$site" ] || { echo "wine32: apt knows no archive for $codename" >&2; return 1; }
  local apt="$cache/apt"
  rm -rf "$apt"
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/parts"
  echo "deb $site $codename-backports main" >"$apt/sources.list"
  local opts=(-q -o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/parts"
    -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o Acquire::Languages=none
    -o "APT::Architectures::=$arch" -o APT::Sandbox::User=root)
  if ! apt-get "${opts[@]}" update >"$apt/log" 2>&1 ||
    ! (cd "$apt" && apt-get "${opts[@]}" download "qemu-user/$codename-backports") >>"$apt/log" 2>&1; then
    cat "$apt/log" >&2
    echo "wine32: qemu-user could not be had from $codename-backports" >&2
    return 1
  fi
  # One static program of the package is all that is needed.
  local deb
  deb=$(ls "$apt"/qemu-user_*.deb)
  rm -rf "$apt/root"
  mkdir -p "$apt/root"
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$apt/root" ./usr/bin/qemu-i386
  mv "$apt/root/usr/bin/qemu-i386" "$qemu"
  echo "wine32: $("$qemu" --version | head -n1), from $(basename "$deb")" >&2
  rm -rf "$apt"
}

case ${1:-} in
  fetch)
    fetch
    echo "$qemu"
    ;;
  run)
    shift
    [ $# -gt 0 ] || { echo "usage: $0 run CMD ARGS..." >&2; exit 2; }
    fetch
    exec unshare --user --map-root-user --mount --propagation private -- \
      bash "${BASH_SOURCE[0]}" inside "$@"
    ;;
  inside)
    # In the new namespace: a binfmt_misc of its own, where i386 ELF
    # programs go to qemu-i386. F: the kernel opens qemu-i386 now, so it is
    # found from every folder and mount the programs see.
    shift
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    printf ':marrowfold-i386:M::%s:%s:%s:F' "$magic" "$mask" "$qemu" \
      >/proc/sys/fs/binfmt_misc/register
    export MARROWFOLD_WINE32_NS=$qemu
    exec "$@"
    ;;
  *)
    echo "usage: $0 fetch | run CMD ARGS..." >&2
    exit 2
    ;;
esac
