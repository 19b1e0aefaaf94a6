#!/usr/bin/env bash
# apt-get update as root (or through sudo), tolerant of a mirror caught in
# the middle of a sync: such a mirror serves one index of the wrong size and
# apt-get update fails for it alone. Tries three times, then goes on with the
# indices that did arrive; an install that really needs the missing index
# fails clearly afterwards.
set -uo pipefail
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
for attempt in 1 2 3; do
  $sudo_cmd apt-get update -qq && exit 0
  echo "apt-update: apt-get update failed (attempt $attempt of 3)" >&2
  [ "$attempt" -lt 3 ] && sleep 10
done
exit 0
