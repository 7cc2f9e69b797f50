#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb x11-apps x11-utils imagemagick
  libxinerama1 libxrandr2 libxcomposite1 libxcursor1 libxi6 fonts-wine
  libosmesa6-dev libgl1-mesa-dev libglu1-mesa-dev libgl1-mesa-dri libx11-dev
  libgtest-dev googletest libbenchmark-dev libpng-dev
  clang libclang-rt-dev
  xscreensaver xsecurelock x11-xserver-utils desktop-file-utils man-db
  nsis zip unzip dpkg-dev lintian osslsigncode openssl
  emscripten nodejs chromium
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
