#!/bin/sh
# The module must export GetFactoryNLASystem and define no other dynamic symbol.
set -eu
module=$1
defined=$(nm -D --defined-only "$module" | awk '{print $3}' | sort)
if [ "$defined" != "GetFactoryNLASystem" ]; then
  echo "unexpected exports of $module:"
  echo "$defined"
  exit 1
fi
echo "exports: $defined"
