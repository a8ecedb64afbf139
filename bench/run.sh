#!/usr/bin/env bash
# Records the same private virtual desktop with capmill and with the ffmpeg
# command-line tool, one after the other, and prints a comparison table:
# CPU seconds per recorded second, frames written against frames requested,
# the longest gap between two pictures,
# peak resident memory, the time from the start to the first frame and the
# time from the stop to the finished file.
#
#   bench/run.sh [ROUNDS] [SECONDS] [SIZE@FPS...]
#   (defaults: 3 rounds of 20 s at 1280x720@30 1920x1080@30 1920x1080@60 2560x1440@30)
set -euo pipefail
cd "$(dirname "$0")/.."
ROUNDS=${1:-3}
SECONDS_EACH=${2:-20}
shift $(( $# < 2 ? $# : 2 ))
CONFIGS=("$@")
[ $# -eq 0 ] && CONFIGS=(1280x720@30 1920x1080@30 1920x1080@60 2560x1440@30)
CRF=30

tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target capmill_cli moving-desktop >/dev/null
# CAPMILL=path compares another build of the command (for example an earlier commit's).
CAPMILL=${CAPMILL:-$PWD/build/tools/capmill}
WORK=$(mktemp -d /tmp/orvex-bench-XXXXXX)
source tools/virtual-session.sh
trap 'stop_virtual_session; rm -rf "$WORK"' EXIT

# run_one NAME MARKER OUT COMMAND...: starts the recorder under /usr/bin/time,
# waits for MARKER in its output, records SECONDS_EACH seconds, sends SIGINT
# and prints "cpu_seconds peak_kb stop_to_done_seconds".
run_one() {
  local name=$1 marker=$2 out=$3; shift 3
  local log="$WORK/$name.log" timing="$WORK/$name.time"
  rm -f "$out" "$log"
  /usr/bin/time -f "%U %S %M" -o "$timing" "$@" >"$log" 2>&1 </dev/null &
  local runner=$!
  for _ in $(seq 300); do grep -q "$marker" "$log" 2>/dev/null && break; sleep 0.05; done
  sleep "$SECONDS_EACH"
  local recorder
  recorder=$(pgrep -P "$runner" | head -n1)
  local stopped
  stopped=$(date +%s.%N)
  kill -INT "$recorder"
  wait "$runner" || true
  local done_at
  done_at=$(date +%s.%N)
  # /usr/bin/time reports a non-zero exit (ffmpeg's after SIGINT) on a line of its own.
  read -r user sys peak < <(tail -n1 "$timing")
  echo "$(echo "$user + $sys" | bc -l) $peak $(echo "$done_at - $stopped" | bc -l)"
}

# first_frame_delay OUT COMMAND...: starts the recorder writing OUT, stops it
# START_PROBE seconds after its start and prints how much of that time the
# file lacks: the time from the call to the first frame, measured the same
# way for both tools.
START_PROBE=4
first_frame_delay() {
  local out=$1; shift
  rm -f "$out"
  "$@" >/dev/null 2>&1 </dev/null &
  local recorder=$!
  sleep "$START_PROBE"
  kill -INT "$recorder"
  wait "$recorder" || true
  local frames
  frames=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$out")
  echo "$START_PROBE - $frames / $FPS" | bc -l
}

# video_stats FILE: "frames requested longest_gap_ms file_seconds". Both
# recorders write each captured frame once, so the video packets are the
# frames delivered. The frames requested are those the video track's time
# span asks for (first to last picture, plus one), counted from the pictures'
# own times: the track's duration field differs between the containers'
# writers by a few milliseconds (edit lists, the last picture's length),
# which alone moved the ratio by 0.1-0.2 %.
video_stats() {
  local file
  file=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$1")
  ffprobe -v error -select_streams v:0 -show_entries packet=pts_time -of csv=p=0 "$1" | sort -n |
    awk -v fps="$FPS" -v file="$file" '
      NR == 1 { first = $1 }
      NR > 1 && $1 - last > gap { gap = $1 - last }
      { last = $1; n++ }
      END { printf "%d %.3f %.1f %s\n", n, (last - first) * fps + 1, gap * 1000, file }'
}

printf "Machine: %s, %s cores; %s\n" "$(uname -m)" "$(nproc)" "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
printf "Settings: x11grab, libx264 ultrafast CRF %d, a key frame every second with 2 B-frames, yuv420p, AAC from the same virtual microphone, %d s x %d rounds\n" \
  "$CRF" "$SECONDS_EACH" "$ROUNDS"
printf "frames/requested: video packets against the frames the video track's time span asks for\n"
printf "longest gap: the longest time between two pictures in a row (the worst round)\n\n"
printf "%-13s %-8s %14s %16s %14s %12s %16s %14s\n" size@fps tool "cpu s/rec s" "frames/requested" "longest gap ms" \
  "peak MiB" "call->1st frame s" "stop->done s"

for config in "${CONFIGS[@]}"; do
  size=${config%@*}; FPS=${config#*@}
  width=${size%x*}; height=${size#*x}
  start_virtual_desktop "$width" "$height"
  start_virtual_microphone
  declare -A sum=()
  for round in $(seq "$ROUNDS"); do
    for tool in capmill ffmpeg; do
      out="$WORK/$tool.mp4"
      if [ "$tool" = capmill ]; then
        command=("$CAPMILL" record "$out" --fps "$FPS" --crf "$CRF" --size "$size")
        result=$(run_one capmill "capmill: recording" "$out" "${command[@]}")
      else
        # The engine's encoder settings (a key frame every second, two
        # B-frames), each captured frame written once as capmill does, and
        # input queues deep enough that ffmpeg's screen input is not starved
        # by the microphone (with its defaults it keeps about a quarter of
        # the screen frames and repeats them).
        command=(ffmpeg -nostdin -y -thread_queue_size 64 -f x11grab -framerate "$FPS" -video_size "$size" -i "$DISPLAY"
          -thread_queue_size 64 -f pulse -i mic -c:v libx264 -preset ultrafast -crf "$CRF" -g "$FPS" -bf 2
          -pix_fmt yuv420p -fps_mode passthrough -c:a aac -b:a 128k "$out")
        result=$(run_one ffmpeg "Output #0" "$out" "${command[@]}")
      fi
      read -r cpu peak stop <<<"$result"
      read -r frames requested gap duration <<<"$(video_stats "$out")"
      if (( $(echo "$gap > ${sum[$tool.gap]:-0}" | bc -l) )); then sum[$tool.gap]=$gap; fi
      sum[$tool.cpu]=$(echo "${sum[$tool.cpu]:-0} + $cpu / $duration" | bc -l)
      sum[$tool.frames]=$(echo "${sum[$tool.frames]:-0} + $frames / $requested" | bc -l)
      sum[$tool.peak]=$(echo "${sum[$tool.peak]:-0} + $peak / 1024" | bc -l)
      sum[$tool.stop]=$(echo "${sum[$tool.stop]:-0} + $stop" | bc -l)
      # Last: the probe records over the same file.
      sum[$tool.start]=$(echo "${sum[$tool.start]:-0} + $(first_frame_delay "$out" "${command[@]}")" | bc -l)
    done
  done
  for tool in capmill ffmpeg; do
    printf "%-13s %-8s %14.3f %16.4f %14.0f %12.1f %16.2f %14.2f\n" "$config" "$tool" \
      "$(echo "${sum[$tool.cpu]} / $ROUNDS" | bc -l)" "$(echo "${sum[$tool.frames]} / $ROUNDS" | bc -l)" "${sum[$tool.gap]}" \
      "$(echo "${sum[$tool.peak]} / $ROUNDS" | bc -l)" "$(echo "${sum[$tool.start]} / $ROUNDS" | bc -l)" \
      "$(echo "${sum[$tool.stop]} / $ROUNDS" | bc -l)"
  done
  printf "%-13s %-8s %14.2f %16.2f %14.2f %12.2f %16.2f %14.2f\n\n" "$config" "ratio" \
    "$(echo "${sum[capmill.cpu]} / ${sum[ffmpeg.cpu]}" | bc -l)" "$(echo "${sum[capmill.frames]} / ${sum[ffmpeg.frames]}" | bc -l)" \
    "$(echo "${sum[capmill.gap]} / ${sum[ffmpeg.gap]}" | bc -l)" \
    "$(echo "${sum[capmill.peak]} / ${sum[ffmpeg.peak]}" | bc -l)" "$(echo "${sum[capmill.start]} / ${sum[ffmpeg.start]}" | bc -l)" \
    "$(echo "${sum[capmill.stop]} / ${sum[ffmpeg.stop]}" | bc -l)"
  unset sum
  stop_virtual_session
done
