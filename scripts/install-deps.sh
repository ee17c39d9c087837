#!/usr/bin/env bash
# Installs what building, running and testing need on a Debian machine, as root, and only what
# is missing. Usage: scripts/install-deps.sh [run|test]
set -euo pipefail

mode=${1:-test}
packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libncurses-dev tmux clang-format)
if [ "$mode" = test ]; then
  # The Windows build and its proof under Wine (32-bit needs the i386 architecture).
  # widl (the type library compiler) is in wine64-tools; wixl (the MSI builder) in wixl, its
  # msiinfo/msiextract checks in msitools; xdotool drives Polecheck's dialog under Xvfb.
  # Liberation Sans stands in for Arial, the dialog's font (same metrics); fonts-wine has Wine's
  # own faces (Marlett draws the caption buttons).
  # qemu-user runs the 32-bit Wine loader where the kernel cannot run 32-bit programs.
  packages+=(mingw-w64 mingw-w64-tools libwine-dev wine wine64 wine64-tools wine32:i386 xvfb
             xauth imagemagick wixl msitools xdotool fonts-liberation fonts-wine qemu-user)
  # clang with libFuzzer and its sanitizer runtimes, for the fuzz preset.
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}; run this script as root" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
   ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# A mirror that is being synced may serve an index that does not match its release file; the
# update is tried again, and the install goes on with the indexes that did come (it fails by
# itself, naming the package, when one that is needed is not among them).
for attempt in 1 2 3; do
  apt-get update -q && break
  [ "$attempt" -eq 3 ] && echo "install-deps: the package indexes did not all come; installing from those that did" >&2
  sleep 15
done
# The machine's own architecture first, then the 32-bit packages (the 32-bit Wine loader), so
# that a 32-bit index that did not come costs only the 32-bit halves of the Wine stages, which
# then say that they are skipped; the script still fails, naming what it could not install.
native=() foreign=()
for p in "${missing[@]}"; do
  case $p in
    *:i386) foreign+=("$p") ;;
    *) native+=("$p") ;;
  esac
done
status=0
[ ${#native[@]} -eq 0 ] || apt-get install -y -q --no-install-recommends "${native[@]}" || status=$?
if [ ${#foreign[@]} -gt 0 ] && ! apt-get install -y -q --no-install-recommends "${foreign[@]}"; then
  echo "install-deps: could not install ${foreign[*]}; the 32-bit halves of the Wine stages will be skipped" >&2
  status=1
fi
exit $status
