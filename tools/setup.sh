#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks for building and testing
# Morvex.Native. Only missing packages are installed.
#
#   tools/setup.sh             the Linux build and tests
#   tools/setup.sh --windows   also the i686 MinGW-w64 cross compiler and Wine
#                              (32-bit), for Morvex.Native.dll and its tests
set -euo pipefail

windows=0
for arg in "$@"; do
  case "$arg" in
    --windows) windows=1 ;;
    *) echo "usage: $0 [--windows]" >&2; exit 2 ;;
  esac
done

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

packages=(cmake ninja-build g++ make libgtest-dev libbenchmark-dev libpng-dev pkg-config)
if ((windows)); then
  # Wine's 32-bit loader needs the i386 architecture.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  packages+=(g++-mingw-w64-i686-posix wine wine32:i386)
fi

missing=()
for pkg in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Wine's 32-bit loader is an i386 Linux program. A kernel that cannot run
# those (no IA-32 emulation, as in some virtual machines) gets a user-mode
# emulator for them; it needs QEMU 8.1 or later for the address-space
# reservations Wine makes, hence the backports suite.
if ((windows)) && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  qemu=/usr/bin/qemu-i386
  if ! "$qemu" --version 2>/dev/null | grep -qE 'version ([89]|[1-9][0-9])\.'; then
    echo "installing: qemu-user-static (bookworm-backports), to run i386 programs"
    list=/etc/apt/sources.list.d/morvex-backports.sources
    if [ ! -f "$list" ]; then
      printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm-backports' \
        'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
        $sudo tee "$list" >/dev/null
    fi
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user-static
  fi
  binfmt=/proc/sys/fs/binfmt_misc
  mountpoint -q "$binfmt" || $sudo mount -t binfmt_misc binfmt_misc "$binfmt"
  [ ! -e "$binfmt/qemu-i386" ] || echo -1 | $sudo tee "$binfmt/qemu-i386" >/dev/null
  # 32-bit little-endian ELF executables and shared objects for the i386.
  magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":qemu-i386:M::$magic:$mask:$qemu:F" | $sudo tee "$binfmt/register" >/dev/null
  /usr/lib/wine/wine --version >/dev/null
fi
