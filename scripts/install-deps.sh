#!/usr/bin/env bash
# Installs what building, running and testing Vandrex needs on Debian 12.
# Safe to run again: packages already present are skipped by apt-get.
set -euo pipefail
PKGS=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6network6 libqt6widgets6 libgl-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libjpeg62-turbo-dev libgif-dev liblz4-dev zlib1g-dev
  clang libclang-rt-14-dev
  xvfb xauth x11-utils
  python3 python3-aiosmtpd python3-pyftpdlib
  msmtp curl
  xdg-utils
  ffmpeg libavformat-dev libavcodec-dev libavfilter-dev libswresample-dev libswscale-dev
  libavdevice-dev libavutil-dev libpulse-dev libasound2-dev pulseaudio-utils pulseaudio
  lrzsz socat
  ppp util-linux
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
