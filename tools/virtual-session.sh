# Sourced by the demo and the benchmark: a private virtual desktop with moving
# content and a private PulseAudio server with a virtual microphone.
# Every helper is stopped by its process id in stop_virtual_session.
# The moving content is build/tools/moving-desktop (or $MOVING_DESKTOP).

VS_PIDS=()
VS_RUNTIME=""

# start_virtual_desktop WIDTH HEIGHT: sets DISPLAY to a new Xvfb display.
start_virtual_desktop() {
  local width=$1 height=$2 number
  for number in $(seq $((100 + RANDOM % 300)) 999); do
    [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ] || break
  done
  Xvfb ":$number" -screen 0 "${width}x${height}x24" -nolisten tcp >/dev/null 2>&1 &
  VS_PIDS+=($!)
  export DISPLAY=":$number"
  for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  "${MOVING_DESKTOP:-build/tools/moving-desktop}" >/dev/null 2>&1 </dev/null &
  VS_PIDS+=($!)
  for _ in $(seq 100); do xdotool search --onlyvisible --name . >/dev/null 2>&1 && break; sleep 0.1; done
}

# start_virtual_microphone: a 440 Hz tone as the default source "Virtual Microphone".
start_virtual_microphone() {
  VS_RUNTIME=$(mktemp -d /tmp/orvex-pulse-XXXXXX)
  chmod 700 "$VS_RUNTIME"
  XDG_RUNTIME_DIR="$VS_RUNTIME" HOME="$VS_RUNTIME" pulseaudio --daemonize=no --exit-idle-time=-1 -n \
    --load=module-native-protocol-unix \
    --load="module-null-sink sink_name=tone rate=44100" \
    --load="module-sine sink=tone frequency=440" \
    --load="module-remap-source master=tone.monitor source_name=mic source_properties='device.description=\"Virtual Microphone\"'" \
    >"$VS_RUNTIME/pulse.log" 2>&1 &
  VS_PIDS+=($!)
  export PULSE_SERVER="unix:$VS_RUNTIME/pulse/native"
  for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl set-default-source mic >/dev/null
  # A null sink nobody listens to closely renders in blocks of up to two
  # seconds; a quiet listener keeps it answering at once, as a real microphone does.
  parec --raw --latency-msec=20 -d tone.monitor >/dev/null 2>&1 &
  VS_PIDS+=($!)
  sleep 2.1  # the sink takes up the small steps when its current block ends
}

stop_virtual_session() {
  local pid
  for pid in "${VS_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  # A helper that ignores the request is killed.
  for _ in $(seq 20); do
    local alive=0
    for pid in "${VS_PIDS[@]}"; do kill -0 "$pid" 2>/dev/null && alive=1; done
    [ "$alive" = 0 ] && break
    sleep 0.1
  done
  for pid in "${VS_PIDS[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
  for pid in "${VS_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  VS_PIDS=()
  [ -n "$VS_RUNTIME" ] && rm -rf "$VS_RUNTIME"
  VS_RUNTIME=""
}
