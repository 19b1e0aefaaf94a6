#!/usr/bin/env bash
# Runs a command as on a machine without Wine: Wine's programs (wine*) are
# hidden from PATH, which becomes a folder of links to every other program on
# it. CI runs the Windows build's plain command this way, to show that
# building needs no Wine. The links are made once, from the programs present
# then: install what the command needs before (a program installed inside
# would not be on PATH).
#   scripts/without-wine.sh command [argument ...]
set -euo pipefail
links=$(mktemp -d "${TMPDIR:-/tmp}/dalvex-no-wine.XXXXXX")
trap 'rm -rf "$links"' EXIT
# Readable by all: apt runs its helpers (gpgv) as the unprivileged _apt user.
chmod 755 "$links"
IFS=: read -ra folders <<<"$PATH"
for folder in "${folders[@]}"; do
  for program in "$folder"/*; do
    name=${program##*/}
    case $name in wine*) continue ;; esac
    if [ -x "$program" ] && [ ! -e "$links/$name" ]; then ln -s "$program" "$links/$name"; fi
  done
done
PATH=$links "$@"
