#!/usr/bin/env bash
# Makes the shipped 32-bit Windows build runnable here under wine32: Debian's wine32:i386 and,
# where the kernel runs no i386 programs itself, qemu-user registered for them (wine32's own Linux
# half is an i386 program). Safe to run again. Exits 0 when `/usr/lib/wine/wine --version` works,
# and 2, saying why, when it cannot be set up (for instance while the archive's i386 index is out
# of step with amd64's), so that the wine32 tests are skipped rather than failed.
set -uo pipefail

sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"

cannot() {
  echo "wine32: $*; the 32-bit Windows tests will be skipped" >&2
  exit 2
}

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

if ! installed wine32:i386 || ! installed qemu-user-binfmt; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386 || cannot "dpkg refused the i386 architecture"
  fi
  $sudo apt-get update -qq || cannot "apt-get update failed"
  # wine32 must match wine64's version exactly; while a mirror syncs, the i386 index can lag.
  if ! log=$(DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
               wine32:i386 qemu-user-binfmt 2>&1); then
    echo "$log" | tail -n 5 >&2
    cannot "apt-get could not install wine32:i386 (is the archive's i386 index out of step with amd64?)"
  fi
fi

if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  # The kernel runs no i386 programs: hand them to qemu-user. Debian's qemu-user-binfmt leaves
  # i386 out on amd64, where the kernel normally runs them itself, so it is registered here.
  if [[ ! -e /proc/sys/fs/binfmt_misc/register ]]; then
    $sudo mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || cannot "binfmt_misc cannot be mounted"
  fi
  if [[ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]]; then
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    # F: the interpreter is opened now, so that it works inside any mount namespace later.
    echo ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386:F" | $sudo tee /proc/sys/fs/binfmt_misc/register >/dev/null \
      || cannot "qemu-user could not be registered for i386 programs"
  fi
  /usr/lib/wine/wine --version >/dev/null 2>&1 || cannot "/usr/lib/wine/wine does not start even under qemu-user"
fi
echo "wine32: $(/usr/lib/wine/wine --version)"
