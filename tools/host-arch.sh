#!/usr/bin/env bash
# Prints the MinGW target this host can run under Wine: i686 when the kernel
# executes 32-bit programs (the Wine loader for 32-bit Windows code is one)
# and 32-bit Wine is installed, x86_64 otherwise. With --kernel, only what
# the kernel can run (the set-up's question: is 32-bit Wine worth installing).
# LUMORA_TARGET_ARCH overrides.
if [ -n "${LUMORA_TARGET_ARCH:-}" ]; then echo "$LUMORA_TARGET_ARCH"; exit 0; fi
probe=$(mktemp)
# A 93-byte static i386 ELF that only calls exit(0).
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000\061\333\270\001\000\000\000\315\200' >"$probe"
chmod +x "$probe"
if "$probe" 2>/dev/null; then arch=i686; else arch=x86_64; fi
rm -f "$probe"
# Where 32-bit Wine could not be installed (a half-synced mirror), the tests
# run the 64-bit build rather than not at all.
if [ "$arch" = i686 ] && [ "${1:-}" != --kernel ] &&
   ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  arch=x86_64
fi
echo "$arch"
