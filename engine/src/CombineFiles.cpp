#include "src/CombineFiles.h"

#include <cerrno>
#include <cstdio>

extern "C" {
#include <libavformat/avformat.h>
}

#include "platform/Log.h"
#include "src/HiddenFile.h"
#include "src/MediaInput.h"

namespace capmill {
namespace {

void Say(const std::string& text) { log::Debug(text); }

// One input file and the packets of its chosen stream, read in order.
class Source {
 public:
  ~Source() {
    av_packet_free(&packet);
    if (container) avformat_close_input(&container);
  }

  // Opens the file and finds its first stream of the type; reports and
  // returns false on failure.
  bool Open(const char* path, AVMediaType type, const char* openError, const char* infoError,
            const char* missingError) {
    if (avformat_open_input(&container, path, nullptr, nullptr) < 0) {
      Say(openError);
      return false;
    }
    if (avformat_find_stream_info(container, nullptr) < 0) {
      Say(infoError);
      return false;
    }
    for (unsigned i = 0; i < container->nb_streams; ++i) {
      if (container->streams[i]->codecpar->codec_type == type) {
        stream = container->streams[i];
        return true;
      }
    }
    Say(missingError);
    return false;
  }

  // Reads the next packet of the stream; false at the end or on a read error.
  bool Next() {
    for (;;) {
      av_packet_unref(packet);
      if (av_read_frame(container, packet) < 0) {
        finished = true;
        return false;
      }
      if (packet->stream_index == stream->index) break;
    }
    // Where the packet lies in time: its pts, else its dts, else where its
    // predecessor lay.
    const int64_t stamp = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (stamp != AV_NOPTS_VALUE) orderUs = av_rescale_q(stamp, stream->time_base, AVRational{1, 1000000});
    return true;
  }

  AVFormatContext* container = nullptr;
  AVStream* stream = nullptr;
  AVPacket* packet = nullptr;
  bool finished = false;
  int64_t orderUs = 0;
};

bool AddTrack(AVFormatContext* output, const AVStream* input, const char* streamError, const char* paramsError) {
  AVStream* track = avformat_new_stream(output, nullptr);
  if (!track) {
    Say(streamError);
    return false;
  }
  if (avcodec_parameters_copy(track->codecpar, input->codecpar) < 0) {
    Say(paramsError);
    return false;
  }
  track->time_base = input->time_base;
  track->codecpar->codec_tag = 0;
  if (input->start_time != AV_NOPTS_VALUE) track->start_time = input->start_time;
  if (input->duration != AV_NOPTS_VALUE) track->duration = input->duration;
  return true;
}

// Writes the two files' packets in time order into output; false when any
// write or the trailer failed.
bool Merge(AVFormatContext* output, Source& video, Source& audio) {
  bool complete = true;
  video.Next();
  audio.Next();
  while (!video.finished || !audio.finished) {
    // Ties go to the video.
    const bool takeVideo = audio.finished || (!video.finished && video.orderUs <= audio.orderUs);
    Source& source = takeVideo ? video : audio;
    AVStream* track = output->streams[takeVideo ? 0 : 1];
    AVPacket* copy = av_packet_clone(source.packet);
    int code = AVERROR(ENOMEM);
    if (copy) {
      copy->stream_index = track->index;
      av_packet_rescale_ts(copy, source.stream->time_base, track->time_base);
      code = av_interleaved_write_frame(output, copy);
      av_packet_free(&copy);
    }
    if (code < 0) {
      complete = false;
      Say(log::Format(256, takeVideo ? "WARNING: Error writing video packet: %s\n"
                                     : "WARNING: Error writing audio packet: %s\n",
                      AvErrorText(code).c_str()));
    }
    source.Next();
  }
  if (av_write_trailer(output) < 0) return false;
  return complete;
}

int Combine(const char* videoPath, const char* audioPath, const std::string& outputPath, const std::string& writePath) {
  Source video, audio;
  if (!video.Open(videoPath, AVMEDIA_TYPE_VIDEO, "ERROR: Could not open video input file\n",
                  "ERROR: Could not find video stream info\n", "ERROR: No video stream found in video file\n"))
    return 0;
  if (!audio.Open(audioPath, AVMEDIA_TYPE_AUDIO, "ERROR: Could not open audio input file\n",
                  "ERROR: Could not find audio stream info\n", "ERROR: No audio stream found in audio file\n"))
    return 0;

  AVFormatContext* output = nullptr;
  // MP4 whatever the output's extension says.
  if (avformat_alloc_output_context2(&output, nullptr, "mp4", outputPath.c_str()) < 0 || !output) {
    Say("ERROR: Could not create output context\n");
    return 0;
  }
  int result = 0;
  bool opened = false;
  do {
    if (!AddTrack(output, video.stream, "ERROR: Could not create video output stream\n",
                  "ERROR: Could not copy video codec parameters\n") ||
        !AddTrack(output, audio.stream, "ERROR: Could not create audio output stream\n",
                  "ERROR: Could not copy audio codec parameters\n"))
      break;
    if (!(output->oformat->flags & AVFMT_NOFILE)) {
      if (const int code = avio_open(&output->pb, writePath.c_str(), AVIO_FLAG_WRITE); code < 0) {
        Say(log::Format(512, "ERROR: Could not open output file: %s\n", AvErrorText(code).c_str()));
        break;
      }
      opened = true;
    }
    if (const int code = avformat_write_header(output, nullptr); code < 0) {
      Say(log::Format(512, "ERROR: Error writing header: %s\n", AvErrorText(code).c_str()));
      break;
    }
    video.packet = av_packet_alloc();
    audio.packet = av_packet_alloc();
    if (!video.packet || !audio.packet) {
      Say("ERROR: Could not allocate packets\n");
      break;
    }
    if (!Merge(output, video, audio)) break;
    result = 1;
  } while (false);
  // Closing flushes the last buffered bytes: a failure there is a failed write.
  if (opened && avio_closep(&output->pb) < 0) result = 0;
  avformat_free_context(output);
  return result;
}

}  // namespace

int CombineSeparateFiles(const char* videoPath, const char* audioPath, const char* outputPath) {
  if (!videoPath || !audioPath || !outputPath || !*videoPath || !*audioPath || !*outputPath) {
    Say("ERROR: qelCombineSeparateFiles - invalid parameters\n");
    return 0;
  }
  Say(log::Format(2048, "Combining separate files using FFmpeg API: video=%s, audio=%s, output=%s\n", videoPath,
                  audioPath, outputPath));
  // Beside the output, so the rename cannot cross file systems; a dot name
  // that no "*.mp4" pattern and no recording's name matches.
  const std::string writePath = CreateHiddenFileBeside(outputPath, "combining");
  if (writePath.empty()) {
    Say(log::Format(512, "ERROR: Could not open output file: %s\n", AvErrorText(AVERROR(errno)).c_str()));
    return 0;
  }
  const int result = Combine(videoPath, audioPath, outputPath, writePath);
  if (result == 1) {
    if (std::rename(writePath.c_str(), outputPath) == 0) {
      Say("Files combined successfully using FFmpeg API\n");
      return 1;
    }
    Say(log::Format(512, "ERROR: Could not move the combined file into place: %s\n",
                    AvErrorText(AVERROR(errno)).c_str()));
  }
  std::remove(writePath.c_str());
  return 0;
}

}  // namespace capmill
