#!/usr/bin/env bash
# Checks that every #include in the product's folders follows the layers:
#
#   numeric_common  <-  sparse_pattern, sparse_symmetric  <-  least_squares  <-  plugin
#   the C routines (include/pemric.h)  <-  cpp_interface  <-  apps, python
#   host_interface  <-  plugin, host, apps, fuzz
#
# A file may include headers of its own layer and the public headers (those
# under include/) of the layers listed for it below; anything else fails: a
# lower layer reaching a higher one (a numeric routine seeing the host
# interface or the plug-in, host/ seeing the plug-in), or any layer reaching
# another's private src/ folder. Tests and benchmarks are not checked: they
# reach internals on purpose.
#
# An include is resolved as the compiler would find it in this tree: beside
# the including file first, then as a path suffix of any file in the product's
# folders. Includes that match no file here (system and package headers) are
# not ours to check.
#
# Usage: scripts/check-layers.sh [root]   (exit status 1 on any violation)
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

# The layer of a path, by its folder.
layer_of() {
  case $1 in
    numeric_common/*) echo numeric_common ;;
    sparse_pattern/*) echo sparse_pattern ;;
    sparse_symmetric/*) echo sparse_symmetric ;;
    least_squares/*) echo least_squares ;;
    include/*) echo pemric_c_api ;;
    cpp_interface/*) echo cpp_interface ;;
    host_interface/*) echo host_interface ;;
    plugin/*) echo plugin ;;
    host/*) echo host ;;
    problems/host_adapter/*) echo problem_eso ;;
    problems/*) echo problems ;;
    apps/*) echo apps ;;
    python/*) echo python ;;
    fuzz/*) echo fuzz ;;
    *) echo none ;;
  esac
}

# The layers whose public headers each layer may include.
declare -A may_see=(
  [numeric_common]=""
  [sparse_pattern]="numeric_common"
  [sparse_symmetric]="numeric_common"
  [least_squares]="numeric_common sparse_symmetric"
  [pemric_c_api]="numeric_common sparse_pattern sparse_symmetric least_squares"
  [cpp_interface]="pemric_c_api"
  [host_interface]=""
  [plugin]="host_interface numeric_common sparse_pattern sparse_symmetric least_squares"
  [host]="host_interface"
  [problems]=""
  [problem_eso]="problems host host_interface"
  [apps]="problem_eso problems host host_interface cpp_interface"
  [python]="cpp_interface"
  [fuzz]="host_interface plugin numeric_common sparse_pattern sparse_symmetric least_squares cpp_interface"
)
folders=(numeric_common sparse_pattern sparse_symmetric least_squares include cpp_interface
         host_interface plugin host problems apps python fuzz)

existing=()
for folder in "${folders[@]}"; do [ -d "$folder" ] && existing+=("$folder"); done
sources=$(find "${existing[@]}" -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.c' -o -name '*.cc' \
  -o -name '*.cpp' \) -not -path 'fuzz/corpus/*' | sort)

# A header counts as public when it lies under an include/ folder.
is_public() { [[ $1 == */include/* || $1 == include/* ]]; }

# The verdict on one resolved header for a file of layer $1: empty when allowed.
verdict() {
  local from=$1 header=$2 to
  to=$(layer_of "$header")
  [ "$to" = "$from" ] && return 0
  if [[ " ${may_see[$from]} " != *" $to "* ]]; then
    echo "layer $from may not include layer $to"
  elif ! is_public "$header"; then
    echo "private header of layer $to"
  fi
}

failures=0
while IFS= read -r file; do
  from=$(layer_of "$file")
  while IFS= read -r line; do
    number=${line%%:*}
    name=$(sed -E 's/^[0-9]+:[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^>"]+)[>"].*/\1/' <<<"$line")
    beside=$(dirname "$file")/$name
    if [ -f "$beside" ]; then
      candidates=$(realpath --relative-to=. "$beside")
    else
      pattern=$(sed 's/[.[\*^$+?(){}|]/\\&/g' <<<"$name")
      candidates=$(grep -E "(^|/)$pattern\$" <<<"$sources" || true)
    fi
    [ -z "$candidates" ] && continue
    # Allowed when any file the name can mean is allowed (an own header first).
    problem=""
    while IFS= read -r header; do
      reason=$(verdict "$from" "$header")
      if [ -z "$reason" ]; then problem=""; break; fi
      problem="$header ($reason)"
    done <<<"$candidates"
    if [ -n "$problem" ]; then
      echo "$file:$number: includes $name -> $problem"
      failures=$((failures + 1))
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' "$file" || true)
done <<<"$sources"

if [ "$failures" -gt 0 ]; then
  echo "check-layers: $failures include(s) against the layers"
  exit 1
fi
echo "check-layers: every include follows the layers"
