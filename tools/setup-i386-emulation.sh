#!/usr/bin/env bash
# Lets a kernel that refuses i386 programs run them through qemu's user-mode
# emulator, so that 32-bit Wine (and with it the 32-bit exe we ship) runs
# here too. Called by setup-host.sh where the probe fails; exits 0 when the
# probe runs afterwards, 1 (with one line saying why) when it cannot.
# Root or sudo; the handler lasts until the next boot, so every set-up asks.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
# The tests point these elsewhere.
etc=${LUMORA_APT_ETC:-/etc/apt}
bfm=${LUMORA_BINFMT_DIR:-/proc/sys/fs/binfmt_misc}
qemu=${LUMORA_QEMU:-/usr/bin/qemu-i386-static}
say() { echo "setup-host: $*; building and testing x86_64 instead" >&2; exit 1; }

if [ ! -e "$bfm/register" ]; then
  $SUDO mount -t binfmt_misc binfmt_misc "$bfm" 2>/dev/null ||
    say "binfmt_misc cannot be mounted here, so i386 programs cannot be handed to an emulator"
fi

# Debian 12's own qemu (7.2) takes about 50 s to start one 32-bit Wine
# process; the backports one (10.x) a quarter of a second. Backports come
# from the mirror apt already uses.
qemu_major() { "$qemu" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p'; }
if [ "$(qemu_major)" = "" ] || [ "$(qemu_major)" -lt 10 ]; then
  codename=$(. /etc/os-release 2>/dev/null; echo "${VERSION_CODENAME:-bookworm}")
  list=$etc/sources.list.d/lumora-backports.sources
  if ! grep -rqs "^Suites:.*$codename-backports" "$etc/sources.list.d/" &&
     ! grep -qs "$codename-backports" "$etc/sources.list"; then
    uri=$(sed -n 's/^URIs: *\([^ ]*\/debian\)\/*$/\1/p' "$etc/sources.list.d/debian.sources" 2>/dev/null | head -1)
    [ -n "$uri" ] || uri=$(sed -n 's/^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*\/debian\)\/* .*/\2/p' "$etc/sources.list" 2>/dev/null | head -1)
    [ -n "$uri" ] || say "no Debian mirror found in the apt sources to take backports from"
    printf 'Types: deb\nURIs: %s\nSuites: %s-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
      "$uri" "$codename" | $SUDO tee "$list" >/dev/null
  fi
  $SUDO apt-get update -qq 2>/dev/null
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
    -t "$codename-backports" qemu-user-static >/dev/null 2>&1 ||
    say "qemu-user-static from $codename-backports cannot be installed from this mirror"
  [ "$(qemu_major)" -ge 10 ] 2>/dev/null || say "qemu-user-static from $codename-backports is older than 10"
fi

# Debian registers no i386 handler on amd64, counting i386 as native. F opens
# the interpreter now, so the handler works in every mount namespace.
if [ ! -e "$bfm/qemu-i386" ]; then
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  printf '%s' ":qemu-i386:M::$magic:$mask:$qemu:F" | $SUDO tee "$bfm/register" >/dev/null 2>&1 ||
    say "the i386 handler cannot be registered with binfmt_misc"
fi
[ "$(cat "$bfm/qemu-i386" 2>/dev/null | head -1)" = enabled ] || echo 1 | $SUDO tee "$bfm/qemu-i386" >/dev/null
[ "$("$here/host-arch.sh" --kernel)" = i686 ] || say "i386 programs still do not run after registering qemu-i386"
echo "setup-host: this kernel refuses i386 programs; they run through $($qemu --version | head -1)" >&2
