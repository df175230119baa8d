#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks for building and testing
# Morvex.Native. Only missing packages are installed.
set -euo pipefail

packages=(cmake ninja-build g++ make libgtest-dev libbenchmark-dev libpng-dev pkg-config)
missing=()
for pkg in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
