#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need.
# Only packages that are missing are installed, so a prepared machine pays nothing.
set -euo pipefail
pkgs=(
  build-essential cmake ninja-build pkg-config
  libavformat-dev libavcodec-dev libavdevice-dev libavutil-dev libswscale-dev libswresample-dev libyuv-dev
  ffmpeg
  qt6-base-dev libgl-dev
  pulseaudio libpulse-dev
  xvfb x11-utils xdotool trayer
  libx11-dev libxcb1-dev
  bc time procps util-linux strace dbus-daemon
  lintian desktop-file-utils
  nginx-light libnginx-mod-rtmp
  libgtest-dev libgmock-dev
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  # nginx-light starts a system nginx on port 80 when installed; the tests run their own.
  if command -v systemctl >/dev/null 2>&1; then $SUDO systemctl stop nginx 2>/dev/null || true; fi
  $SUDO pkill -x nginx 2>/dev/null || true
fi
