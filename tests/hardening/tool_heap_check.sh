#!/usr/bin/env bash
# dalvex-run with its k-th heap allocation failing, for every k of a small
# solve: each run must end with one of the tool's documented exit statuses
# (0 solved, 1 not solved, 3 the environment failed it: memory here) and,
# when it is not 0, say why; never with a signal, an uncaught exception or,
# under AddressSanitizer, a leak (LeakSanitizer's exit status 23).
# Usage: tool_heap_check.sh PROGRAM MODULE
set -uo pipefail
program=$1 module=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
args=(-p rosenbrock --quiet --set Iprint=-1 --module "$module")
# OpenBLAS starts its threads while the module is loaded, and gives up on
# the process when the C library cannot make one; one thread starts none.
export OPENBLAS_NUM_THREADS=1

"$program" "${args[@]}" >out 2>err || { echo "the run without a failure did not solve:"; cat out err; exit 1; }
total=$(sed -n 's/^allocations: //p' err)
[ -n "$total" ] && [ "$total" -gt 0 ] || { echo "no allocation counted"; cat err; exit 1; }

bad=0
for ((k = 1; k <= total; ++k)); do
  DALVEX_FAIL_AT=$k "$program" "${args[@]}" >out 2>err
  status=$?
  said=$(grep -v '^allocations: ' err | head -n 1)
  case $status in
    0) continue ;;
    1 | 3) if [ -n "$said$(grep -c . out)" ] && ! grep -q 'terminate called' err; then continue; fi ;;
  esac
  echo "allocation $k of $total: exit status $status"
  grep -v '^allocations: ' err | head -n 5
  bad=$((bad + 1))
  [ $bad -ge 5 ] && break
done
echo "$total allocations of dalvex-run failed in turn, $bad runs went wrong"
[ $bad -eq 0 ]
