#!/usr/bin/env bash
# Installs those of the given Debian packages that are not installed yet,
# through apt-get (as root, or with sudo). Nothing happens when all are there.
#   scripts/install-packages.sh package ...
set -euo pipefail
missing=()
for p in "$@"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
# A mirror in the middle of a sync serves an index of the wrong size and
# apt-get update fails for that one index; try a few times, then go on with
# the indices that did arrive (the install below fails clearly if a package
# is really out of reach).
for attempt in 1 2 3; do
  $sudo_cmd apt-get update -qq && break
  echo "install-packages: apt-get update failed (attempt $attempt of 3)" >&2
  [ "$attempt" -lt 3 ] && sleep 10
done
DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
