#!/usr/bin/env bash
# Sourced by the scripts that install what they need: apt_install PKG...
# installs Debian packages (as root, or through sudo).
#
# A mirror in the middle of a sync, or a cache in front of it, can serve one
# index file older than the Release file naming it ("File has unexpected
# size"); seen with bookworm-security's i386 list, which left the i386
# packages a point release behind their amd64 twins and made Wine's 32-bit
# half uninstallable. So the lists are read a few times, a while apart, and
# where they never all come and the install then fails, it is tried once
# more from the release and its updates alone, for every architecture alike,
# so both architectures' versions agree.
apt_install() {
  local sudo="" try lists_ok=0
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  for try in 1 2 3; do
    if $sudo apt-get update -qq; then
      lists_ok=1
      break
    fi
    echo "apt_install: the package lists could not all be read (try $try of 3)" >&2
    [ "$try" -eq 3 ] || sleep $((try * 15))
  done
  $sudo apt-get install -y -qq "$@" >/dev/null && return 0
  [ "$lists_ok" -eq 0 ] || return 1

  echo "apt_install: trying again without the security suites, whose lists did not come" >&2
  local parts f
  parts=$(mktemp -d)
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && grep -v -E '^[^#]*[[:space:]][a-z]+-security([[:space:]]|$)' "$f" \
      >"$parts/$(basename "$f" | tr -c 'A-Za-z0-9.\n' _).list"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && awk 'BEGIN { RS = ""; ORS = "\n\n" } !/-security/' "$f" >"$parts/$(basename "$f")"
  done
  local status=0
  $sudo apt-get install -y -qq -o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$parts" \
    "$@" >/dev/null || status=$?
  rm -rf "$parts"
  return "$status"
}
