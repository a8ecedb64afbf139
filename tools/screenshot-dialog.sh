#!/usr/bin/env bash
# Takes a picture of a window on a private virtual desktop, with sample data:
#   tools/screenshot-dialog.sh streaming-servers OUT.png   (three servers)
#   tools/screenshot-dialog.sh event-log-viewer OUT.png
#   tools/screenshot-dialog.sh schedule-recording OUT.png (three entries)
#   tools/screenshot-dialog.sh brand-settings OUT.png     (brand on, a name and a title)
#   tools/screenshot-dialog.sh camera-overlay OUT.png     (a test-pattern camera, centred)
#   tools/screenshot-dialog.sh camera-card OUT.png        (the card of a camera that is not there)
#   tools/screenshot-dialog.sh camera-preview OUT.png
#   tools/screenshot-dialog.sh default-settings OUT.png    (auto-save to OneDrive on)
#   tools/screenshot-dialog.sh recent-files OUT.png        (three long paths)
#   tools/screenshot-dialog.sh toolbar OUT.png             (the recording controls, idle)
#   tools/screenshot-dialog.sh toolbar-paused OUT.png      (the recording controls during a pause)
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
  brand-settings)
    cat >>"$config/OrvexLite/registry.txt" <<STORE

[SOFTWARE\\\\OrvexLite]
"EnableBrand"="TRUE"
"BrandName"="Ada Lovelace"
"BrandTitle"="Analytical Engines"
"BrandLogoPath"="$config/Pictures/logo.png"
"BrandPosition"="3"
"BrandTextColor"="8388608"
"BrandBkgColor"="15790320"
STORE
    ;;
  schedule-recording)
    mkdir -p "$config/Videos"
    echo sample >"$config/Videos/Standup 2026-12-01.mp4"
    cat >>"$config/OrvexLite/registry.txt" <<STORE

[SOFTWARE\\\\OrvexLite]
"EnableScheduledRecording"="TRUE"
"DoNotStreamWithScheduledRecording"="TRUE"
"ScheduledRecordingCount"="3"
"ScheduledRecording0_Date"="Dec-01-2026"
"ScheduledRecording0_FromTime"="09:00 AM"
"ScheduledRecording0_ToTime"="09:15 AM"
"ScheduledRecording0_Enabled"="TRUE"
"ScheduledRecording0_Status"="Completed"
"ScheduledRecording0_FilePath"="$config/Videos/Standup 2026-12-01.mp4"
"ScheduledRecording1_Date"="Dec-24-2026"
"ScheduledRecording1_FromTime"="07:30 PM"
"ScheduledRecording1_ToTime"="09:00 PM"
"ScheduledRecording1_Enabled"="TRUE"
"ScheduledRecording1_Status"="Not Started"
"ScheduledRecording1_FilePath"=""
"ScheduledRecording2_Date"="Jan-05-2027"
"ScheduledRecording2_FromTime"="12:00 PM"
"ScheduledRecording2_ToTime"="01:00 PM"
"ScheduledRecording2_Enabled"="FALSE"
"ScheduledRecording2_Status"="Not Started"
"ScheduledRecording2_FilePath"=""
STORE
    ;;
  default-settings)
    cat >>"$config/OrvexLite/registry.txt" <<STORE

[SOFTWARE\\\\OrvexLite]
"DefaultFPS"="30"
"DefaultCRF"="20"
"MinimizeToTray"="TRUE"
"LoggingEnabled"="TRUE"
"ShowRecordingControlsOnDesktop"="TRUE"
"AutoSaveToCloud"="TRUE"
"CloudDriveType"="OneDrive"
"CloudFolderPath"="Orvex/Recordings"
STORE
    ;;
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
