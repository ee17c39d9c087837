#!/bin/sh
# Builds a Kirnow package: wixl compiles the WiX source, then msibuild applies the SQL rows that
# wixl's WiX subset cannot express (keys removed whole on uninstall, an empty key, a search for
# a key's default value). One statement per line in SQL.
#
#   build-msi.sh ARCH VERSION WXS SQL STAGE OUT.msi
#   ARCH x86 or x64; STAGE holds 32/ and 64/ with the stripped binaries.
set -eu
[ $# -eq 6 ] || { echo "usage: $0 ARCH VERSION WXS SQL STAGE OUT.msi" >&2; exit 2; }
abs() { case "$1" in /*) echo "$1" ;; *) echo "$(pwd)/$1" ;; esac; }
arch=$1 version=$2 wxs=$(abs "$3") sql=$(abs "$4") stage=$5 out=$(abs "$6")
rm -f "$out"
# wixl takes file sources relative to the working folder only.
(cd "$stage" && wixl -a "$arch" -D Version="$version" -D SourceDir32=32 -D SourceDir64=64 \
  -o "$out" "$wxs")
while IFS= read -r query; do
  [ -n "$query" ] || continue
  msibuild "$out" -q "$query"
done <"$sql"
