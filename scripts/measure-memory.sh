#!/usr/bin/env bash
# Measures how large a problem the plug-in solves in a given address space,
# and how much memory it needs per unknown, with the command-line host
# dalvex-run on the large families of the problem library.
#
#   scripts/measure-memory.sh limits [BUILD_DIR] [LIMIT_MIB]
#       Under an address-space limit (default: build-32/ and 2048 MiB, the
#       hosts' 32-bit process), finds for each family by bisection the
#       largest size that fits, within 1 %, confirms that it solves, and runs
#       the next size up, which must end with the plug-in's clean
#       out-of-memory failure.
#   scripts/measure-memory.sh peak [BUILD_DIR]
#       Peak resident memory per unknown of each family (default build/),
#       at three sizes.
#   FAMILIES="broyden-banded" restricts either mode to some families.
#
# The solver allocates everything it needs while it starts a solve (set-up,
# then the workspaces its analysis asks for); later iterations allocate
# nothing. The bisection therefore runs two evaluations per size (a run
# that reaches its evaluation budget has had all its memory), and only the
# size found is solved to the end.
#
# Every run's output is kept in $OUT_DIR (default build-memory/). A run
# whose outcome is neither a success nor the clean failure (a crash, an
# abort, a failure without the plug-in's message) is reported as such, and
# the script then exits with 1.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-}
out_dir=${OUT_DIR:-build-memory}
mkdir -p "$out_dir"
families=${FAMILIES:-"broyden-banded reactor-flash bratu-2d"}

# Search brackets per family under 2 GiB: a size that fits and one that does
# not (the bisection checks both ends first).
declare -A low=([broyden-banded]=1000000 [reactor-flash]=500000 [bratu-2d]=700)
declare -A high=([broyden-banded]=4000000 [reactor-flash]=1000000 [bratu-2d]=1100)
# Sizes for the peak memory of the 64-bit build.
declare -A peak_sizes=([broyden-banded]="100000 400000 1600000" [reactor-flash]="10000 40000 160000"
                       [bratu-2d]="100 200 400")

# One run of `family` at `size` under `limit_kib` of address space (0: none),
# with at most `evaluations` residual evaluations. Prints one of: solves,
# fits (the evaluation budget was reached: past the start, so every
# allocation succeeded), clean, crash, other.
run() {
  local build=$1 family=$2 size=$3 limit_kib=$4 evaluations=$5
  local log="$out_dir/$family-$size-$limit_kib-$evaluations.log"
  local rc=0
  (
    [ "$limit_kib" -gt 0 ] && ulimit -v "$limit_kib"
    exec "$build/apps/dalvex-run" -p "$family" -n "$size" --set PrintLevel=0 \
      --set MaxIters="$evaluations"
  ) >"$log" 2>&1 || rc=$?
  # A solve that runs to the method's own end needed no more memory than it
  # got, whether or not its residuals came within Tol of zero.
  if [ "$rc" -le 1 ] && grep -qE '^Outcome *(converged|stalled)$' "$log"; then
    echo solves
  elif [ "$rc" -eq 1 ] && grep -q 'Maximum Function Calls exceeded' "$log"; then
    echo fits
  elif [ "$rc" -eq 3 ] && grep -qx 'Outcome *failed' "$log" && grep -q '(Solve returned -15)$' "$log" &&
       grep -qE 'out of memory while setting up|could not allocate an? (integer|real) workspace' "$log"; then
    echo clean
  elif [ "$rc" -ge 128 ] || grep -q 'terminate called' "$log"; then
    echo crash
  else
    echo other
  fi
}

unknowns() {  # the number of variables dalvex-run reported for its last run
  grep -oE '[0-9]+ variables' "$1" | head -1 | cut -d' ' -f1
}

limits() {
  local build=${1:-build-32} limit_mib=${2:-2048}
  local limit_kib=$((limit_mib * 1024)) bad=0
  echo "family             largest solving  unknowns    next size up  outcome"
  for family in $families; do
    local lo=${low[$family]} hi=${high[$family]}
    local at_lo at_hi
    at_lo=$(run "$build" "$family" "$lo" "$limit_kib" 2)
    at_hi=$(run "$build" "$family" "$hi" "$limit_kib" 2)
    if [ "$at_lo" = clean ] || [ "$at_hi" != clean ]; then
      echo "$family: bracket $lo ($at_lo) .. $hi ($at_hi) does not enclose the limit" >&2
      bad=1
      continue
    fi
    # Invariant: lo fits, hi does not. Stop within 1 % (or 1).
    while [ $((hi - lo)) -gt $((lo / 100 > 1 ? lo / 100 : 1)) ]; do
      local mid=$(((lo + hi) / 2)) outcome
      outcome=$(run "$build" "$family" "$mid" "$limit_kib" 2)
      case $outcome in
        fits | solves) lo=$mid ;;
        clean) hi=$mid ;;
        *) echo "$family $mid: $outcome, see $out_dir" >&2; bad=1; hi=$mid ;;
      esac
    done
    local solved next outcome
    solved=$(run "$build" "$family" "$lo" "$limit_kib" 1000)
    [ "$solved" = solves ] || { echo "$family $lo: $solved in a full solve" >&2; bad=1; }
    next=$((lo + (lo / 100 > 1 ? lo / 100 : 1)))
    outcome=$(run "$build" "$family" "$next" "$limit_kib" 1000)
    [ "$outcome" = clean ] || bad=1
    printf '%-18s %15d  %9d  %14d  %s\n' "$family" "$lo" \
      "$(unknowns "$out_dir/$family-$lo-$limit_kib-1000.log")" "$next" "$outcome"
  done
  return $bad
}

peak() {
  local build=${1:-build}
  scripts/install-packages.sh time
  echo "family             size   unknowns  peak resident  bytes per unknown"
  for family in $families; do
    for size in ${peak_sizes[$family]}; do
      local log="$out_dir/$family-$size-peak.log"
      /usr/bin/time -f 'peak %M' "$build/apps/dalvex-run" -p "$family" -n "$size" \
        --set PrintLevel=0 --set MaxIters=1000 >"$log" 2>&1
      local kib n
      kib=$(grep -oE '^peak [0-9]+' "$log" | cut -d' ' -f2)
      n=$(unknowns "$log")
      printf '%-18s %7d  %9d  %9d KiB  %17d\n' "$family" "$size" "$n" "$kib" $((kib * 1024 / n))
    done
  done
}

case $mode in
  limits) shift; limits "$@" ;;
  peak) shift; peak "$@" ;;
  *) sed -n '2,/^set -euo/p' "$0" | grep '^#' | sed 's/^# \{0,1\}//'; exit 2 ;;
esac
