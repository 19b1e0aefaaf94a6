#!/usr/bin/env bash
# Fails when code reads or writes a control, information or private array at
# a bare numbered position, such as Info(27), icntl[4], info(1), KEEP[0] or
# keep(kMaInfo + 10), instead of through the names that each routine family's
# public header gives its positions (pemric/ma57.h, pemric/ns23.h, ...). The
# product, its tests, fuzz targets and benchmarks are searched; the headers
# that define the names are not.
#
# A bare position that must stay (a loop bound, a layout that is itself the
# definition) carries a comment with "bare:" and the reason on its line.
#
# Usage: scripts/check-named-positions.sh [directory...]
set -euo pipefail
cd "$(dirname "$0")/.."

# The product's numeric layers, the plug-in, which reads the routines'
# arrays for its driver and its dumps, the C++ interface and the tools that
# call the routines; and the tests, fuzz targets and
# benchmarks, which call the routines on arrays of their own.
dirs=("$@")
if [ ${#dirs[@]} -eq 0 ]; then
  dirs=(numeric_common/src sparse_pattern/src sparse_symmetric/src least_squares/src plugin/src
        cpp_interface/src apps tests fuzz bench)
fi

arrays='(m_)?(info|icntl|cntl|rinfo|keep|rkeep|lkeep|infod|icntld|cntld|isave|rsave|saved)'
# An array (or its accessor) indexed by a literal, as a call, a subscript or
# .at(); or by a named section plus a literal offset.
literal="\\b${arrays}(\\.at)?[[:space:]]*[([][[:space:]]*[0-9]+[[:space:]]*[])]"
offset="\\b${arrays}(\\.at|\\.from)?[[:space:]]*[([][[:space:]]*k[A-Z][A-Za-z]*[[:space:]]*[-+][[:space:]]*[0-9]+[[:space:]]*[])]"

# Comments and string literals are blanked first: messages quote positions
# as the caller sees them ("INFO(1) =").
strip='s://.*$::; s:"([^"\\]|\\.)*":"":g'
found=""
while IFS= read -r -d '' file; do
  hits=$(sed -E "$strip" "$file" | grep -nEi -e "$literal" -e "$offset" || true)
  [ -z "$hits" ] && continue
  while IFS= read -r hit; do
    line=${hit%%:*}
    text=$(sed -n "${line}p" "$file")
    case "$text" in *"bare:"*) continue ;; esac
    found+="$file:$line: $text"$'\n'
  done <<< "$hits"
done < <(find "${dirs[@]}" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print0 | sort -z)
if [ -n "$found" ]; then
  echo "Bare array positions (use the names of the family's header, or mark the line \"bare: why\"):"
  printf '%s' "$found"
  exit 1
fi
echo "No bare array positions in: ${dirs[*]}"
