#!/usr/bin/env bash
# Sourced by the scripts that install what they need: apt_install PKG...
# installs Debian packages (as root, or through sudo). A mirror in the middle
# of a sync answers with index files of the wrong size for a few minutes, so
# the package lists and the install are each tried a few times, a while
# apart, before the run gives up; a list that could not be refreshed leaves
# the one apt already had, and the install says whether that was enough.
apt_install() {
  local sudo="" try
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  for try in 1 2 3 4; do
    $sudo apt-get update -qq && break
    echo "apt_install: the package lists could not all be read (try $try of 4)" >&2
    [ "$try" -eq 4 ] || sleep $((try * 20))
  done
  for try in 1 2 3; do
    $sudo apt-get install -y -qq "$@" >/dev/null && return 0
    echo "apt_install: installing $* failed (try $try of 3)" >&2
    [ "$try" -eq 3 ] && return 1
    sleep $((try * 20))
    $sudo apt-get update -qq || true
  done
}
