#!/usr/bin/env bash
# Installs what is missing, builds, and records a 10-second demo with the
# capmill command. Without a DISPLAY it records a private virtual desktop with
# moving content and a virtual microphone, and stops them afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target capmill_cli moving-desktop

source tools/virtual-session.sh
trap stop_virtual_session EXIT
if [ -z "${DISPLAY:-}" ]; then
  echo "No DISPLAY: recording a private virtual desktop and microphone."
  start_virtual_desktop 1280 720
  start_virtual_microphone
fi

out="${1:-$PWD/demo-$(date +%Y%m%d-%H%M%S).mp4}"
build/tools/capmill record "$out" --seconds 10 2>/dev/null
echo "Recorded: $out"
ffprobe -v error -show_entries format=duration:stream=codec_name,width,height,sample_rate,nb_frames -of compact "$out"
