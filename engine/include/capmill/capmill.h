// Capmill: the capture engine's exported interface.
//
// Every recording entry point blocks until the recording is over; call it on a
// worker thread and control it from other threads with the control exports.
// Texts are NUL-terminated UTF-8 and are read only during the call.
#pragma once

#include <stdbool.h>
#include <stdint.h>

#if defined(CAPMILL_BUILDING)
#define CAPMILL_API __attribute__((visibility("default")))
#else
#define CAPMILL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Settings: frame rate, CRF and size apply to the next recording; audio delay
   and music volume apply at once. */
CAPMILL_API void qelsetFrameRate(int fps);
CAPMILL_API void qelSetCrf(int crf);
CAPMILL_API void qelSetVideoRes(int width, int height);
CAPMILL_API void qelSetAudioDelay(int milliseconds);
CAPMILL_API void qelSetMusicVolume(int percent);
/* Accepted for compatibility; stream failures are reported only in the log. */
CAPMILL_API void qelSetStreamingErrorCallback(void* callback);

/* Control: safe from any thread while a recording runs. */
CAPMILL_API void qelStopRecording(void);
CAPMILL_API void qelPauseRecording(void);
CAPMILL_API void qelResumeRecording(void);
CAPMILL_API bool qelIsRecordingPaused(void);
/* Opaque handle to the running recording's clock, or NULL between recordings. */
CAPMILL_API void* qelGetGlobalTimer(void);
/* Why the engine itself ended the last recording early (a full disk, a file system
   that refused more, the screen lost), as one line; copied into buffer (size bytes,
   NUL-terminated, cut to fit). Returns the line's full length: 0 when the last
   recording ended as asked. */
CAPMILL_API int qelGetRecordingStopReason(char* buffer, int size);
/* How stream target `index` (its place in the URL list) of the last recording that
   streamed to a list fared: the seconds of recording it carried go to *sentSeconds;
   when it ended failed, the reason goes to reason (size bytes, NUL-terminated, cut to
   fit) and the time on the recording's timeline to *failedAtSeconds. Any pointer may
   be NULL. Returns 1 when it streamed to the end, 0 when it failed, -1 past the end. */
CAPMILL_API int qelGetStreamResult(int index, double* sentSeconds, double* failedAtSeconds, char* reason, int size);

/* Recording entry points. audioInput is "audio=" followed by a microphone name. */
CAPMILL_API void qelRecordScreen(const char* outputPath);
CAPMILL_API void qelRecordScreenWithAudio(const char* outputPath, const char* audioInput);
CAPMILL_API void qelRecordAndStreamDesktopOne(const char* audioInput, const char* outputPath,
                                              const char* streamUrl);
CAPMILL_API void qelRecordAndStreamDesktop(const char* outputPath, const char* audioInput,
                                           const char* streamUrls[], int urlCount);

/* The same with a music file mixed into the microphone track at musicVolumePercent
   (0-100; the music restarts whenever it ends). */
CAPMILL_API void qelRecordScreenWithAudioAndMusic(const char* outputPath, const char* audioInput,
                                                  const char* musicPath, int musicVolumePercent);
CAPMILL_API void qelRecordAndStreamDesktopOneWithMusic(const char* audioInput, const char* outputPath,
                                                       const char* streamUrl, const char* musicPath,
                                                       int musicVolumePercent);
CAPMILL_API void qelRecordAndStreamDesktopWithMusic(const char* outputPath, const char* audioInput,
                                                    const char* streamUrls[], int urlCount, const char* musicPath,
                                                    int musicVolumePercent);

/* The same with the music also played on the default audio output, so the person
   recording hears it; the recording gets the music as heard. */
CAPMILL_API void qelRecordScreenWithAudioAndMusicWithDefaultDevPlayback(const char* outputPath,
                                                                        const char* audioInput,
                                                                        const char* musicPath,
                                                                        int musicVolumePercent);
CAPMILL_API void qelRecordAndStreamDesktopOneWithMusicAndPlayback(const char* audioInput, const char* outputPath,
                                                                  const char* streamUrl, const char* musicPath,
                                                                  int musicVolumePercent);
CAPMILL_API void qelRecordAndStreamDesktopWithMusicAndPlayback(const char* outputPath, const char* audioInput,
                                                               const char* streamUrls[], int urlCount,
                                                               const char* musicPath, int musicVolumePercent);

/* The same into two files of their own, <stem>_video.mp4 and <stem>_audio.m4a in the
   folder "AudioAndVideo" beside outputPath, kept after the recording and combined into
   outputPath when it ends. */
CAPMILL_API void qelRecordScreenWithAudioSeparate(const char* outputPath, const char* audioInput);
CAPMILL_API void qelRecordScreenWithAudioAndMusicSeparate(const char* outputPath, const char* audioInput,
                                                          const char* musicPath, int musicVolumePercent);
CAPMILL_API void qelRecordScreenWithAudioAndMusicWithDefaultDevPlaybackSeparate(const char* outputPath,
                                                                                const char* audioInput,
                                                                                const char* musicPath,
                                                                                int musicVolumePercent);
CAPMILL_API void qelRecordAndStreamDesktopOneSeparate(const char* audioInput, const char* outputPath,
                                                      const char* streamUrl);
CAPMILL_API void qelRecordAndStreamDesktopSeparate(const char* outputPath, const char* audioInput,
                                                   const char* streamUrls[], int urlCount);
CAPMILL_API void qelRecordAndStreamDesktopOneWithMusicSeparate(const char* audioInput, const char* outputPath,
                                                               const char* streamUrl, const char* musicPath,
                                                               int musicVolumePercent);
CAPMILL_API void qelRecordAndStreamDesktopWithMusicSeparate(const char* outputPath, const char* audioInput,
                                                            const char* streamUrls[], int urlCount,
                                                            const char* musicPath, int musicVolumePercent);
CAPMILL_API void qelRecordAndStreamDesktopOneWithMusicAndPlaybackSeparate(const char* audioInput,
                                                                          const char* outputPath,
                                                                          const char* streamUrl,
                                                                          const char* musicPath,
                                                                          int musicVolumePercent);
CAPMILL_API void qelRecordAndStreamDesktopWithMusicAndPlaybackSeparate(const char* outputPath,
                                                                       const char* audioInput,
                                                                       const char* streamUrls[], int urlCount,
                                                                       const char* musicPath,
                                                                       int musicVolumePercent);

/* Copies the first video track of videoPath and the first audio track of audioPath,
   without re-encoding, into an MP4 at outputPath (whatever its extension). Returns 1
   when the file is complete, else 0 and outputPath is left as it was. */
CAPMILL_API int qelCombineSeparateFiles(const char* videoPath, const char* audioPath, const char* outputPath);

/* Plays a music file, looping, on the default audio output until keepRunning(context)
   returns false; starts when a recording has started (waiting at most 10 s) and pauses
   with it. volumePercent scales the samples: above 100 amplifies, clipped. */
typedef bool (*qelKeepRunningCallback)(void* context);
CAPMILL_API void qelPlayMusicToDefaultDevice(const char* musicPath, int volumePercent,
                                             qelKeepRunningCallback keepRunning, void* context);

/* Stops the external FFmpeg process registered with the engine, if any. */
CAPMILL_API void qelStopFFmpegProcess(void);

/* Recovers the recordings a crash or a power loss cut off (their process ended before
   finishing them): each is rewritten, without re-encoding, into "<name> (recovered).<ext>"
   beside it; once the new file is checked to hold every packet the original is removed.
   report (may be NULL) is called for each; returns how many were recovered. Call it when
   the program starts. */
typedef void (*qelRecoveredCallback)(const char* original, const char* recovered, long packets, void* context);
CAPMILL_API int qelRecoverUnfinishedRecordings(qelRecoveredCallback report, void* context);

/* Resource monitoring and adaptive quality. */
CAPMILL_API void qelSetSystemMonitoringEnabled(bool enabled);
CAPMILL_API void qelSetDynamicLimitsEnabled(bool enabled);
CAPMILL_API void qelSetMaxMemoryUsage(uint64_t bytes);
CAPMILL_API void qelSetMaxCpuUsage(double percent);
CAPMILL_API bool qelCheckSystemResources(void);
CAPMILL_API bool qelCheckMemoryUsage(void);
CAPMILL_API int qelGetAdaptiveQualityLevel(void);
CAPMILL_API double qelGetSystemCpuUsagePercent(void);
CAPMILL_API double qelGetSystemMemoryUsagePercent(void);

/* Capture devices. Entries are 256-byte buffers owned by the engine's allocator:
   give them back with qelFreeDeviceList. */
CAPMILL_API int qelGetAvailableMicrophones(char* names[], int maxNames);
CAPMILL_API int qelGetAvailableCameras(char* names[], int maxNames);
CAPMILL_API void qelFreeDeviceList(char* names[], int count);
/* Newly allocated with malloc; the caller frees it with free(). */
CAPMILL_API char* qelGetDefaultAudioDeviceName(void);

#ifdef __cplusplus
}

#include <string>
/* "audio=" followed by the default microphone's name ("audio=" alone when none). */
CAPMILL_API std::string qelGetDefaultAudioDeviceNameAsString();
#endif
