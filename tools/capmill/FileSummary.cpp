#include "FileSummary.h"

#include <sys/stat.h>

#include <cstdio>

extern "C" {
#include <libavformat/avformat.h>
}

namespace capmill::cli {

FileSummary SummariseFile(const std::string& path) {
  FileSummary summary;
  AVFormatContext* file = nullptr;
  if (avformat_open_input(&file, path.c_str(), nullptr, nullptr) < 0) return summary;
  if (avformat_find_stream_info(file, nullptr) >= 0) {
    summary.readable = true;
    if (file->duration > 0) summary.durationSeconds = file->duration / static_cast<double>(AV_TIME_BASE);
    int videoIndex = -1, audioIndex = -1;
    for (unsigned i = 0; i < file->nb_streams; ++i) {
      const AVCodecParameters* par = file->streams[i]->codecpar;
      if (par->codec_type == AVMEDIA_TYPE_VIDEO && videoIndex < 0) {
        videoIndex = static_cast<int>(i);
        summary.videoCodec = avcodec_get_name(par->codec_id);
        summary.width = par->width;
        summary.height = par->height;
      } else if (par->codec_type == AVMEDIA_TYPE_AUDIO && audioIndex < 0) {
        audioIndex = static_cast<int>(i);
        summary.audioCodec = avcodec_get_name(par->codec_id);
        summary.sampleRate = par->sample_rate;
      }
    }
    AVPacket* packet = av_packet_alloc();
    while (packet && av_read_frame(file, packet) >= 0) {
      if (packet->stream_index == videoIndex) ++summary.videoFrames;
      if (packet->stream_index == audioIndex) ++summary.audioPackets;
      av_packet_unref(packet);
    }
    av_packet_free(&packet);
  }
  avformat_close_input(&file);
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) summary.bytes = info.st_size;
  return summary;
}

std::string SummaryLine(const std::string& path, const FileSummary& s) {
  char line[1024];
  std::string audio = s.audioCodec.empty()
                          ? std::string("no audio")
                          : s.audioCodec + " " + std::to_string(s.sampleRate) + " Hz (" +
                                std::to_string(s.audioPackets) + " packets)";
  std::snprintf(line, sizeof(line), "%s: %.2f s, video %s %dx%d (%ld frames), audio %s, %.1f MB", path.c_str(),
                s.durationSeconds, s.videoCodec.empty() ? "none" : s.videoCodec.c_str(), s.width, s.height,
                s.videoFrames, audio.c_str(), s.bytes / 1e6);
  return line;
}

}  // namespace capmill::cli
