#!/usr/bin/env bash
# Runs a cross-built 32-bit Windows executable under Wine, quietly and in a Wine
# prefix of its own (CMake uses this as the emulator of the Windows build).
# The prefix is created once, under a lock, before the first program runs, so
# that parallel test runs do not race to create it or time out while it is made.
set -euo pipefail
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-${TMPDIR:-/tmp}/dalvex-wine32-$(id -u)}
export WINEARCH=win32
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      wineboot --init >/dev/null 2>&1 || true
      wineserver --wait 2>/dev/null || true
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"
