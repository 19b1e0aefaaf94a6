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
"$(dirname "$0")/apt-update.sh"
DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
