#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks for building and testing
# Morvex.Native. Only missing packages are installed.
#
#   tools/setup.sh             the Linux build and tests
#   tools/setup.sh --fuzz      also clang and its sanitizer runtimes (libFuzzer)
#   tools/setup.sh --bindings  also what the Python package and the .NET
#                              declarations are tested with (Debian's Python
#                              with numpy, pytest, Pillow, venv, Dask and
#                              dask.distributed (optional for users of the
#                              package) and scikit-image's sample
#                              photographs; Mono)
#   tools/setup.sh --windows   also the MinGW-w64 cross compilers (i686 and
#                              x86-64) and Wine (32- and 64-bit), for both
#                              Morvex.Native.dll builds and their tests
set -euo pipefail

windows=0
fuzz=0
bindings=0
for arg in "$@"; do
  case "$arg" in
    --windows) windows=1 ;;
    --fuzz) fuzz=1 ;;
    --bindings) bindings=1 ;;
    *) echo "usage: $0 [--fuzz] [--bindings] [--windows]" >&2; exit 2 ;;
  esac
done

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:?}")

# The URI of the first apt source (deb822 or one-line form) that serves the
# release `$1` itself.
archive_uri() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v suite="$1" 'BEGIN { RS = ""; FS = "\n" }
      { uri = ""; ok = 0
        for (i = 1; i <= NF; i++) {
          if ($i ~ /^URIs:/) { split($i, u, /[ \t]+/); uri = u[2] }
          if ($i ~ /^Suites:/) { n = split($i, s, /[ \t]+/); for (j = 2; j <= n; j++) if (s[j] == suite) ok = 1 }
        }
        if (ok && uri != "") { print uri; exit } }' "$f"
  done | head -n 1 | grep . && return
  cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    awk -v suite="$1" '$1 == "deb" { i = 2; if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
                                     if ($(i + 1) == suite) { print $i; exit } }'
}

packages=(cmake ninja-build g++ make libgtest-dev libbenchmark-dev libpng-dev zlib1g-dev
          libjpeg62-turbo-dev pkg-config)
if ((fuzz)); then
  packages+=(clang libclang-rt-dev)
fi
if ((bindings)); then
  packages+=(python3 python3-venv python3-pip python3-setuptools python3-wheel python3-numpy
             python3-pytest python3-pil python3-skimage python3-dask python3-distributed
             mono-mcs mono-runtime)
fi
if ((windows)); then
  # Wine's 32-bit loader needs the i386 architecture.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  packages+=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine32:i386 wine64)
fi

# apt-get update, tried again after a pause when an index fails to download
# (a mirror in the middle of a sync serves files that do not match their
# release file for a while). If it still fails, the install goes ahead with
# the indexes there are, and its own result tells whether that was enough.
apt_update() {
  local try
  for try in 1 2 3; do
    $sudo apt-get update -qq && return 0
    ((try == 3)) || { echo "apt-get update failed; trying again in 30 s" >&2; sleep 30; }
  done
  echo "apt-get update failed three times; installing from the indexes there are" >&2
  index_missing=1
}
index_missing=0

missing=()
for pkg in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  apt_update
  # With one suite's index missing for one architecture (say, i386 from the
  # security suite), packages that must have the same version on both
  # architectures cannot be resolved: amd64 would take the newer version from
  # that suite. The release itself then supplies every architecture alike.
  if ! $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
    ((index_missing)) || exit 1
    echo "installing again, preferring $codename itself over its update suites" >&2
    $sudo apt-get install -y -qq --no-install-recommends -t "$codename" "${missing[@]}"
  fi
fi

# Wine's 32-bit loader is an i386 Linux program. A kernel that cannot run
# those (no IA-32 emulation, as in some virtual machines) gets a user-mode
# emulator for them; it needs QEMU 8.1 or later for the address-space
# reservations Wine makes, hence the backports suite.
if ((windows)) && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  qemu=/usr/bin/qemu-i386
  if ! "$qemu" --version 2>/dev/null | grep -qE 'version ([89]|[1-9][0-9])\.'; then
    echo "installing: qemu-user-static (backports), to run i386 programs"
    list=/etc/apt/sources.list.d/morvex-backports.sources
    if [ ! -f "$list" ]; then
      # The backports suite comes from the archive this machine already uses.
      uri=$(archive_uri "$codename")
      [ -n "$uri" ] || { echo "no apt source for $codename to take backports from" >&2; exit 1; }
      printf '%s\n' 'Types: deb' "URIs: $uri" "Suites: $codename-backports" \
        'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
        $sudo tee "$list" >/dev/null
    fi
    apt_update
    $sudo apt-get install -y -qq --no-install-recommends -t "$codename-backports" qemu-user-static
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
