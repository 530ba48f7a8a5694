#!/usr/bin/env bash
# Installs what building and testing ZEP needs on a Debian 12 machine.
# Idempotent: packages already present are not fetched again. Needs root (or
# sudo) only when something is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev googletest libbenchmark-dev
  g++-mingw-w64-x86-64 wine wine64
  clang libclang-rt-14-dev
  procps
  xvfb xdotool imagemagick x11-utils fonts-ipafont-gothic locales
  nut-client
  # The Windows Installer package (wixl, msiinfo, msibuild) and the Debian
  # package's check.
  wixl msitools lintian
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
