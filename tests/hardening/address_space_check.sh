#!/usr/bin/env bash
# A problem too large for the address space it is given must end with the
# plug-in's own clean failure: its message, Solve returning -15 and the host
# going on to its summary and exit status 3 (memory ran out), never a crash.
#   address_space_check.sh DALVEX_RUN LIMIT_MIB PROBLEM SIZE
# The limit lies well between what the host needs for the problem itself and
# what the solver needs on top (see docs/robustness.md), so the first
# allocation that fails is the solver's, on any build of this project.
set -uo pipefail
run=$1 limit_mib=$2 problem=$3 size=$4
output=$( (ulimit -v $((limit_mib * 1024)) && exec "$run" -p "$problem" -n "$size" \
            --set PrintLevel=0 --set MaxIters=1 --max-calls 2) 2>&1)
rc=$?
fail() {
  printf '%s\n' "$output"
  echo "address_space_check: $1 (exit code $rc)"
  exit 1
}
[ "$rc" -eq 3 ] || fail "expected exit code 3"
grep -qx '\*\*FATAL - out of memory while setting up the problem' <<<"$output" ||
  fail "the solver's out-of-memory message is missing"
grep -qx 'Outcome *failed' <<<"$output" && grep -q '(Solve returned -15)$' <<<"$output" ||
  fail "no clean -15 from Solve"
echo "clean failure under $limit_mib MiB"
