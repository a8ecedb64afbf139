#!/usr/bin/env bash
# Lip sync and its drift, as a viewer would judge them: capmill and the ffmpeg
# command-line tool record the same private virtual desktop and microphone at
# the same time, while flash-beep flashes the screen white and beeps into the
# microphone at the same instant every 10 s. Prints, for each tool, where the
# sound of the first and the last event lies against its picture (positive:
# the sound comes later) and the drift per hour.
#
#   bench/av-sync.sh [MINUTES]      (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
MINUTES=${1:-5}
FPS=30
SIZE=1280x720
EVERY=10

tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target capmill_cli moving-desktop flash-beep avsync-measure >/dev/null
WORK=$(mktemp -d /tmp/orvex-avsync-XXXXXX)
source tools/virtual-session.sh
trap 'stop_virtual_session; rm -rf "$WORK"' EXIT
start_virtual_desktop "${SIZE%x*}" "${SIZE#*x}"
start_virtual_microphone

seconds=$((MINUTES * 60))
events=$((seconds / EVERY - 1))
build/tools/capmill record "$WORK/capmill.mp4" --fps "$FPS" --size "$SIZE" >"$WORK/capmill.log" 2>&1 </dev/null &
capmill=$!
ffmpeg -nostdin -y -thread_queue_size 64 -f x11grab -framerate "$FPS" -video_size "$SIZE" -i "$DISPLAY" \
  -thread_queue_size 64 -f pulse -i mic -c:v libx264 -preset ultrafast -crf 30 -g "$FPS" -bf 2 \
  -pix_fmt yuv420p -fps_mode passthrough -c:a aac -b:a 128k "$WORK/ffmpeg.mp4" >"$WORK/ffmpeg.log" 2>&1 </dev/null &
ffmpeg=$!
# Both have settled before the first event, one interval after this start.
build/tools/flash-beep --sink tone --every "$EVERY" --count "$events" >"$WORK/flash-beep.log"
sleep 1
kill -INT "$capmill" "$ffmpeg"
wait "$capmill" || true
wait "$ffmpeg" || true

printf "Machine: %s, %s cores; %s\n" "$(uname -m)" "$(nproc)" "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
printf "Settings: %s at %d fps, AAC from the virtual microphone, %d min, an event every %d s (%d events)\n\n" \
  "$SIZE" "$FPS" "$MINUTES" "$EVERY" "$events"
printf "first and last: mean offset of the first and the last five events (positive: the sound comes later);\n"
printf "drift: least-squares slope over all events\n\n"
printf "%-8s %8s %10s %10s %12s %10s %10s\n" tool events "first ms" "last ms" "drift ms/h" "min ms" "max ms"
for tool in capmill ffmpeg; do
  if report=$(build/tools/avsync-measure "$WORK/$tool.mp4"); then
    count=$(grep -c '^event' <<<"$report")
    read -r _ first _ last _ drift _ _ min _ max <<<"$(tail -n1 <<<"$report")"
    printf "%-8s %8d %10.1f %10.1f %12.1f %10.1f %10.1f\n" "$tool" "$count" "$first" "$last" "$drift" "$min" "$max"
  else
    printf "%-8s %8s\n" "$tool" "no events found"
  fi
done
