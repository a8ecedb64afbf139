#include "src/RecordingJournal.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

extern "C" {
#include <libavformat/avformat.h>
}

#include "platform/FileSystem.h"
#include "src/HiddenFile.h"

namespace capmill {
namespace {

std::string JournalFolder() {
  const std::string state = platform::StateFolder();
  if (state.empty()) return "";
  const std::string folder = state + "/journal";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return std::filesystem::is_directory(folder, ignored) ? folder : "";
}

std::map<std::string, std::string> ReadEntry(const std::string& path) {
  std::map<std::string, std::string> values;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return values;
}

// Counts the packets a file holds (what can be read of it).
long CountPackets(const std::string& path) {
  AVFormatContext* input = nullptr;
  if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) return -1;
  long packets = -1;
  if (avformat_find_stream_info(input, nullptr) >= 0) {
    packets = 0;
    AVPacket* packet = av_packet_alloc();
    while (packet && av_read_frame(input, packet) >= 0) {
      ++packets;
      av_packet_unref(packet);
    }
    av_packet_free(&packet);
  }
  avformat_close_input(&input);
  return packets;
}

// Copies every packet of source into a finished file at target (written
// under a hidden name, named once verified). Returns the packets copied, or
// -1 when the copy failed or lost any.
long Rewrite(const std::string& source, const std::string& target) {
  AVFormatContext* input = nullptr;
  if (avformat_open_input(&input, source.c_str(), nullptr, nullptr) < 0) return -1;
  long copied = -1;
  AVFormatContext* output = nullptr;
  const std::string writing = CreateHiddenFileBeside(target, "recovering");
  do {
    if (writing.empty() || avformat_find_stream_info(input, nullptr) < 0) break;
    if (avformat_alloc_output_context2(&output, nullptr, nullptr, target.c_str()) < 0 || !output) break;
    bool tracks = true;
    for (unsigned i = 0; i < input->nb_streams && tracks; ++i) {
      AVStream* track = avformat_new_stream(output, nullptr);
      tracks = track && avcodec_parameters_copy(track->codecpar, input->streams[i]->codecpar) >= 0;
      if (tracks) {
        track->time_base = input->streams[i]->time_base;
        track->codecpar->codec_tag = 0;
      }
    }
    if (!tracks || avio_open(&output->pb, writing.c_str(), AVIO_FLAG_WRITE) < 0) break;
    if (avformat_write_header(output, nullptr) < 0) break;
    long packets = 0;
    bool written = true;
    AVPacket* packet = av_packet_alloc();
    // A cut-off file ends in a torn fragment: reading stops there.
    while (packet && written && av_read_frame(input, packet) >= 0) {
      const AVStream* from = input->streams[packet->stream_index];
      av_packet_rescale_ts(packet, from->time_base, output->streams[packet->stream_index]->time_base);
      written = av_interleaved_write_frame(output, packet) >= 0;
      ++packets;
    }
    av_packet_free(&packet);
    if (written && av_write_trailer(output) >= 0) copied = packets;
  } while (false);
  if (output) {
    if (output->pb && avio_closep(&output->pb) < 0) copied = -1;
    avformat_free_context(output);
  }
  avformat_close_input(&input);
  // Named only once it holds every packet the original could give.
  if (copied > 0 && CountPackets(writing) == copied && std::rename(writing.c_str(), target.c_str()) == 0)
    return copied;
  if (!writing.empty()) std::remove(writing.c_str());
  return copied == 0 ? 0 : -1;
}

// "<folder>/<stem> (recovered).<ext>", numbered when taken.
std::string RecoveredPathFor(const std::string& finalPath) {
  const std::filesystem::path path(finalPath);
  const std::string extension = path.has_extension() ? path.extension().string() : ".mp4";
  for (int number = 1;; ++number) {
    const std::string name = path.stem().string() + (number == 1 ? " (recovered)" : " (recovered " +
                                                                      std::to_string(number) + ")") + extension;
    const std::filesystem::path candidate = path.parent_path() / name;
    if (!std::filesystem::exists(candidate)) return candidate.string();
  }
}

}  // namespace

JournalEntry::JournalEntry(const std::string& finalPath, const std::string& writingPath)
    : finalPath_(finalPath), writingPath_(writingPath) {
  static std::atomic<long> counter{0};
  const std::string folder = JournalFolder();
  if (folder.empty() || finalPath.find('\n') != std::string::npos || writingPath.find('\n') != std::string::npos)
    return;
  entryPath_ = folder + "/" + std::to_string(platform::OwnProcessId()) + "-" + std::to_string(++counter) + ".entry";
  Write(false);
}

JournalEntry::~JournalEntry() {
  if (!entryPath_.empty()) std::remove(entryPath_.c_str());
}

void JournalEntry::TookPath() { Write(true); }

void JournalEntry::Write(bool tookPath) {
  if (entryPath_.empty()) return;
  // Replaced whole: a crash while writing leaves the earlier note.
  const std::string temporary = entryPath_ + ".new";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << "pid=" << platform::OwnProcessId() << "\npath=" << finalPath_ << "\nwriting=" << writingPath_
        << "\ntaken=" << (tookPath ? 1 : 0) << "\n";
    if (!out) return;
  }
  std::rename(temporary.c_str(), entryPath_.c_str());
}

int RecoverUnfinishedRecordings(const std::function<void(const RecoveredRecording&)>& report) {
  const std::string folder = JournalFolder();
  if (folder.empty()) return 0;
  int recovered = 0;
  std::error_code ignored;
  for (const auto& item : std::filesystem::directory_iterator(folder, ignored)) {
    const std::string entry = item.path().string();
    if (item.path().extension() != ".entry") continue;
    std::map<std::string, std::string> values = ReadEntry(entry);
    const long pid = std::atol(values["pid"].c_str());
    // Still being written, by this process or another.
    if (pid == platform::OwnProcessId() || platform::ProcessRunning(pid)) continue;
    const std::string finalPath = values["path"];
    const std::string source = values["taken"] == "1" ? finalPath : values["writing"];
    if (!finalPath.empty() && !source.empty() && std::filesystem::exists(source)) {
      RecoveredRecording result{source, RecoveredPathFor(finalPath), 0};
      result.packets = Rewrite(source, result.recovered);
      if (result.packets > 0) {
        std::remove(source.c_str());
        ++recovered;
        if (report) report(result);
      } else if (result.packets == 0 && source != finalPath) {
        std::remove(source.c_str());  // a hidden file with nothing in it
      }
    }
    std::remove(entry.c_str());
  }
  return recovered;
}

}  // namespace capmill
