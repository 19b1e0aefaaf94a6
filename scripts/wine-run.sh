#!/usr/bin/env bash
# Runs a cross-built 32-bit Windows executable under Wine, quietly and in a Wine
# prefix of its own (CMake uses this as the emulator of the Windows build).
# The prefix is created once, under a lock, before the first program runs, so
# that parallel test runs do not race to create it or time out while it is made.
set -euo pipefail
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-${TMPDIR:-/tmp}/dalvex-wine32-$(id -u)}
export WINEARCH=win32
# winedbg is disabled: it would take over an unhandled exception and end the
# program with status 0, so that a crashing test would pass. Without it the
# status is the exception code (5 for an access violation).
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml,winedbg.exe=}
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
# The Wine server otherwise starts with no persistence and exits whenever its
# last program does; a program that starts in that moment loses its
# connection ("wine client error: recvmsg: Connection reset by peer"). One
# started here stays 30 seconds after the last program; when a server is
# already running this does nothing.
wineserver -p30 >/dev/null 2>&1 || true
# Wine 8 itself (its Unix side, in an internal thread, while the process
# exits) now and then dies with SIGSEGV, status 139, when the machine is busy;
# the program has done its work by then. A fault of the program is an
# exception code instead (above), so only a 139 is run again, at most twice.
for attempt in 1 2 3; do
  status=0
  wine "$@" || status=$?
  [ "$status" -eq 139 ] || exit "$status"
  echo "wine-run.sh: wine crashed on its own (status 139) running $1 (attempt $attempt)" >&2
done
exit "$status"
