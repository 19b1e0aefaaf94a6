#!/bin/sh
# The module must export GetFactoryNLASystem and define no other dynamic symbol.
# Usage: check_exports.sh <module> [objdump]; a Windows DLL is read with objdump.
set -eu
module=$1
case "$module" in
  *.dll)
    # The export name table of the PE file: "[ordinal] name" lines.
    defined=$("$2" -p "$module" |
      sed -n '/Ordinal\/Name Pointer/,/^$/p' | awk '/^\t\[/ {print $3}' | sort) ;;
  *)
    defined=$(nm -D --defined-only "$module" | awk '{print $3}' | sort) ;;
esac
if [ "$defined" != "GetFactoryNLASystem" ]; then
  echo "unexpected exports of $module:"
  echo "$defined"
  exit 1
fi
echo "exports: $defined"
