#!/usr/bin/env bash
# Makes sure this machine can run 32-bit x86 Linux programs, which the 32-bit
# build's tests and Wine's 32-bit loader are. Most x86-64 kernels run them
# directly; some virtual machines have that turned off (the program fails with
# "Exec format error"). There, Debian's qemu-user emulates them: qemu-i386 is
# registered with the kernel's binfmt_misc, so that every 32-bit program,
# including one that a test starts from a shell, runs under it transparently.
# Root or sudo. Idempotent; does nothing where 32-bit programs already run.
# Prints "native" or "emulated", for callers that must know.
set -euo pipefail
cd "$(dirname "$0")/.."

sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"

probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
printf 'int main(void) { return 0; }\n' > "$probe_dir/probe.c"
gcc -m32 "$probe_dir/probe.c" -o "$probe_dir/probe"
# binfmt_misc may already hand them to qemu (an earlier run): ask the kernel.
misc=/proc/sys/fs/binfmt_misc
if "$probe_dir/probe" 2>/dev/null; then
  if [ -e "$misc/qemu-i386" ] && grep -qx enabled "$misc/qemu-i386"; then echo emulated; else echo native; fi
  exit 0
fi

echo "enable-i386-programs: this kernel does not run 32-bit programs; emulating them with qemu-i386" >&2
scripts/install-packages.sh qemu-user >&2
[ -e "$misc/register" ] || $sudo_cmd mount -t binfmt_misc binfmt_misc "$misc"
if [ ! -e "$misc/qemu-i386" ]; then
  # An ELF header of class 32-bit, little-endian, machine i386 (3), of type
  # executable or shared object (position-independent executables).
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  printf '%s' ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386:" | $sudo_cmd tee "$misc/register" >/dev/null
fi
"$probe_dir/probe"
echo emulated
