#!/usr/bin/env bash
# Installs those of the given Debian packages that are not installed yet,
# through apt-get (as root, or with sudo). Nothing happens when all are there.
#   scripts/install-packages.sh package ...
set -euo pipefail
missing=()
# Installed means unpacked and configured: a package removed with its
# configuration files kept still answers `dpkg -s`.
for p in "$@"; do
  [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
"$(dirname "$0")/apt-update.sh"
DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
