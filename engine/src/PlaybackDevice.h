// The engine-wide playback device: background music played on the default
// output while it is mixed into a recording, so the person recording hears
// it. All its diagnostics go to the debug channel.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstdint>

namespace capmill {

// Opens the default output (shutting a device already open down first) and
// sets the music volume from percent. True when the device plays.
bool InitPlaybackDevice(int volumePercent);

// Converts a decoded music frame to the device's format and queues as much
// of it as the device takes now, at the music volume. Never waits; frames
// the device cannot take are cut or skipped.
void WritePlaybackFrame(const AVFrame* frame, const AVCodecContext* decoder);

// Drops what is queued and the converter's state.
void ResetPlaybackDevice();

// Stops and releases the device; nothing happens when none is open.
void ShutdownPlaybackDevice();

// Frames the device takes now without cutting (0 when none is open).
int64_t PlaybackDeviceRoom();

// What the mixing side needs of the open device: false when none is open.
bool PlaybackDeviceFormat(uint32_t* bufferFrames, int* sampleRate);

}  // namespace capmill
