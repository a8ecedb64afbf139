#!/usr/bin/env bash
# Takes a picture of a window on a private virtual desktop, with sample data:
#   tools/screenshot-dialog.sh streaming-servers OUT.png   (three servers)
#   tools/screenshot-dialog.sh event-log-viewer OUT.png
#   tools/screenshot-dialog.sh main-window OUT.png         (advanced options shown)
#   tools/screenshot-dialog.sh main-window-basic OUT.png   (advanced options hidden)
# The main window lists the microphones of a private virtual PulseAudio server.
set -euo pipefail
cd "$(dirname "$0")/.."
which=${1:?window name}; out=$(realpath -m "${2:?output png}")
cmake -S . -B build >/dev/null && cmake --build build --target dialog-shot moving-desktop -j"$(nproc)" >/dev/null
source tools/virtual-session.sh
config=$(mktemp -d /tmp/orvex-shot-XXXXXX)
trap 'stop_virtual_session; rm -rf "$config"' EXIT
start_virtual_desktop 1280 800
kill "${VS_PIDS[1]}"  # no moving content behind the window
mkdir -p "$config/OrvexLite"
cat >"$config/OrvexLite/registry.txt" <<'STORE'
OrvexLite registry 1

[SOFTWARE\\OrvexLite\\StreamingServers]
"Server0"="Main channel|rtmp://live.example.net/app|main-key-123|1"
"Server1"="Backup|rtmp://backup.example.net/live||0"
"Server2"="Local test|rtmp://127.0.0.1:1935/live|test|1"
STORE
case "$which" in
  main-window|main-window-basic)
    start_virtual_microphone
    advanced=TRUE; [ "$which" = main-window-basic ] && advanced=FALSE
    cat >>"$config/OrvexLite/registry.txt" <<STORE

[SOFTWARE\\\\OrvexLite]
"FolderPath"="$config/Videos/Orvex"
"DefaultOutfilename"="Weekly demo"
"RecordAudio"="TRUE"
"RecordInDateFolders"="TRUE"
"DateFormat"="dd-MMM-yyyy"
"ShowAdvancedOptions"="$advanced"
"EnableVideoStreaming"="TRUE"
"EnableBkgMusic"="TRUE"
"MusicFilePath"="$config/Music/theme.mp3"
"MusicVolume"="40"
STORE
    which=main-window ;;
esac
XDG_CONFIG_HOME="$config" XDG_DATA_HOME="$config" HOME="$config" build/tools/dialog-shot "$which" "$out"
echo "Saved $out"
