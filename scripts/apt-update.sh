#!/usr/bin/env bash
# apt-get update as root (or through sudo), tolerant of a mirror caught in
# the middle of a sync: such a mirror serves one index of the wrong size and
# apt-get update fails for it alone. Tries three times, then goes on with the
# indices that did arrive; an install that really needs the missing index
# fails clearly afterwards.
# One update serves a whole run of scripts (CI calls several installers): it
# is skipped when the last one, for the same sources and architectures, is
# less than an hour old.
set -uo pipefail
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
stamp=${TMPDIR:-/tmp}/dalvex-apt-update.stamp
key=$( (dpkg --print-architecture; dpkg --print-foreign-architectures;
        cat /etc/apt/sources.list /etc/apt/sources.list.d/* 2>/dev/null) | md5sum)
if [ -n "$(find "$stamp" -mmin -60 2>/dev/null)" ] && [ "$(cat "$stamp")" = "$key" ]; then
  exit 0
fi
for attempt in 1 2 3; do
  $sudo_cmd apt-get update -qq && break
  echo "apt-update: apt-get update failed (attempt $attempt of 3)" >&2
  [ "$attempt" -lt 3 ] && sleep 10
done
echo "$key" > "$stamp"
exit 0
