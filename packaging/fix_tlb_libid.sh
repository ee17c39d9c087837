#!/bin/sh
# widl (7.0 and 8.0) writes the last byte of the library identifier wrong in the GUID table of
# the type library it makes; the header and the GUID definitions are right. This puts the
# identifier given in the IDL back into the table and fails when it cannot find the entry.
# usage: fix_tlb_libid.sh TLB {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
set -eu
tlb=$1
guid=$(printf '%s' "$2" | tr -d '{}-' | tr 'A-F' 'a-f')
[ ${#guid} -eq 32 ] || { echo "fix_tlb_libid: bad GUID $2" >&2; exit 1; }
# The GUID as stored: the first three fields little-endian, the last eight bytes as they stand.
swap() { printf '%s' "$1" | sed 's/\(..\)/\1 /g' | awk '{for (i = NF; i > 0; i--) printf "%s", $i}'; }
stored=$(swap "$(printf '%s' "$guid" | cut -c1-8)")$(swap "$(printf '%s' "$guid" | cut -c9-12)")$(swap "$(printf '%s' "$guid" | cut -c13-16)")$(printf '%s' "$guid" | cut -c17-32)
prefix=$(printf '%s' "$stored" | cut -c1-30)
last=$(printf '%s' "$stored" | cut -c31-32)
hex=$(od -An -v -tx1 "$tlb" | tr -d ' \n')
# Byte-aligned occurrences of the first 15 bytes.
offsets=$(printf '%s' "$hex" | grep -ob "$prefix" | cut -d: -f1 | awk '$1 % 2 == 0 {print $1 / 2}')
[ -n "$offsets" ] || { echo "fix_tlb_libid: $2 not found in $tlb" >&2; exit 1; }
for at in $offsets; do
  printf "\\$(printf '%03o' "0x$last")" | dd of="$tlb" bs=1 seek=$((at + 15)) conv=notrunc 2>/dev/null
done
