#!/usr/bin/env bash
# The product as integrators get it, from the build in build/ (scripts/test.sh
# or scripts/setup.sh makes it):
#   1. installs every component into a fresh temporary prefix and runs the
#      consumers against it (scripts/test-consumers.sh);
#   2. makes the Debian packages dalvex, dalvex-dev and dalvex-host (CPack)
#      in build/packages/, and python3-dalvex when the build has the Python
#      package;
#   3. with --deb, or by default when run as root (CI), installs those
#      packages for real with dpkg, runs the consumers against /usr, and
#      removes the packages again. --no-deb leaves the system alone.
# Usage: scripts/test-install.sh [--deb | --no-deb]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build_dir=${BUILD_DIR:-build}

deb=""
[ "$(id -u)" -eq 0 ] && deb=1
case "${1:-}" in
  --deb) deb=1 ;;
  --no-deb) deb="" ;;
  "") ;;
  *) echo "usage: $0 [--deb | --no-deb]" >&2; exit 2 ;;
esac
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
# dpkg-shlibdeps (dpkg-dev) and file find the packages' dependencies.
scripts/install-packages.sh cmake make pkg-config dpkg-dev file

prefix=$(mktemp -d "${TMPDIR:-/tmp}/dalvex-prefix.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build_dir" --prefix "$prefix" >/dev/null
scripts/test-consumers.sh "$prefix"

# Installed without the runtime, dalvex-run must look for the plug-in where it
# belongs and say so, not load the one of the build tree.
cmake --install "$build_dir" --prefix "$prefix/host-only" --component host >/dev/null
status=0
message=$("$prefix/host-only/bin/dalvex-run" -p rosenbrock 2>&1) || status=$?
if [ "$status" -ne 3 ] || [[ "$message" != *"cannot load $prefix/host-only/lib"*"/dalvex/plugins/vorn_dalvex.so"* ]]; then
  echo "dalvex-run installed alone: exit status $status, expected 3 naming its own plug-in path:" >&2
  echo "$message" >&2
  exit 1
fi

rm -f "$build_dir"/packages/*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
packages=("$root/$build_dir"/packages/dalvex{,-dev,-host}_*.deb)
# The Python package, when the build has it.
python_package=$(ls "$root/$build_dir"/packages/python3-dalvex_*.deb 2>/dev/null || true)
[ -n "$python_package" ] && packages+=("$python_package")
ls -l "${packages[@]}"
# Each package carries the licence, a maintainer and a description wrapped
# to Debian's width (a synopsis line, then lines of at most 79 characters).
for package in "${packages[@]}"; do
  name=$(dpkg-deb -f "$package" Package)
  listing=$(dpkg-deb -c "$package")  # whole, so that no early reader cuts it short
  if ! grep -q "\./usr/share/doc/$name/copyright\$" <<<"$listing"; then
    echo "$package has no /usr/share/doc/$name/copyright" >&2
    exit 1
  fi
  if dpkg-deb -f "$package" Description | awk 'length($0) > 79 { bad = 1 } END { exit !bad }'; then
    echo "$package: a description line is longer than 79 characters" >&2
    exit 1
  fi
  [ -n "$(dpkg-deb -f "$package" Maintainer)" ] || { echo "$package has no maintainer" >&2; exit 1; }
done
# Packages built against dalvex-dev take their dependency on dalvex from its shlibs file.
# (Asked of dpkg-deb itself: a pipeline into grep -q fails now and then under
# pipefail, when grep stops reading before the writer is done.)
if ! dpkg-deb --info "${packages[0]}" shlibs >/dev/null 2>&1; then
  echo "${packages[0]} has no shlibs file" >&2
  exit 1
fi

if [ -n "$deb" ]; then
  names=(dalvex-host dalvex-dev dalvex)
  [ -n "$python_package" ] && names+=(python3-dalvex)
  remove() { $sudo_cmd dpkg --purge "${names[@]}" >/dev/null; }
  trap 'remove; rm -rf "$prefix"' EXIT
  $sudo_cmd dpkg -i "${packages[@]}"
  scripts/test-consumers.sh /usr
fi
