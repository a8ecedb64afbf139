// Recordings into separate video and audio files, through libcapmill.so on
// the virtual desktop and microphone: the two files, the combined file and
// the streams, probed and decoded.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "LibraryLogs.h"
#include "MediaProbe.h"
#include "MusicChecks.h"
#include "MusicFiles.h"
#include "RecordingEnvironment.h"
#include "SpeakerRecorder.h"
#include "TimedRecording.h"
#include "capmill/capmill.h"

using namespace testsupport;

namespace {

// The separate files of a requested path in the test folder.
struct SeparateFiles {
  std::string video, audio;
};
SeparateFiles FilesOf(const std::filesystem::path& folder, const std::string& stem) {
  return {folder / "AudioAndVideo" / (stem + "_video.mp4"), folder / "AudioAndVideo" / (stem + "_audio.m4a")};
}

// The offset of the picture against the sound: first video pts - first audio pts.
double AvOffset(const ProbedFile& file) { return file.Video()->StartSeconds() - file.Audio()->StartSeconds(); }

// A combined track is its source track, packet for packet.
void ExpectSameTrack(const ProbedStream& combined, const ProbedStream& source) {
  EXPECT_EQ(combined.pts.size(), source.pts.size());
  EXPECT_NEAR(combined.StartSeconds(), source.StartSeconds(), 1e-3);
  EXPECT_NEAR(combined.DurationSeconds(), source.DurationSeconds(), 1e-3);
}

// The last pts of a track, in seconds.
double EndSeconds(const ProbedStream& track) { return track.StartSeconds() + track.DurationSeconds(); }

class SeparateRecordingTest : public LibraryRecordingSuite {
 protected:
  void SetUp() override {
    LibraryRecordingSuite::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    descriptorsBefore_ = OpenDescriptorCount();
  }
  void TearDown() override {
    // Every file, device and connection of the recording is closed.
    if (!IsSkipped()) {
      EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore_);
    }
  }
  std::string Music() {
    const std::string path = dir_ / "tones.mp3";
    if (!std::filesystem::exists(path)) {
      EXPECT_TRUE(MakeTwoToneFile(path, "mp3", 44100));
    }
    return path;
  }

  TempDir dir_;
  std::string mic_ = RecordingEnvironment::MicInput();
  int descriptorsBefore_ = 0;
};

// Five seconds into two files: both are whole, each combined track is its
// source track packet for packet, and the picture sits against the sound as
// in an ordinary recording.
TEST_F(SeparateRecordingTest, TheTwoFilesAreCombinedTrackForTrack) {
  const std::string path = dir_ / "talk.mp4";
  Logs logs;
  const bool started = RecordFor([&] { qelRecordScreenWithAudioSeparate(path.c_str(), mic_.c_str()); }, 5).started;
  logs.Finish();
  ASSERT_TRUE(started) << logs.Out() << logs.Err();
  const SeparateFiles files = FilesOf(dir_.path(), "talk");

  const ProbedFile video = ProbeFile(files.video), audio = ProbeFile(files.audio), combined = ProbeFile(path);
  ASSERT_TRUE(video.ok && audio.ok && combined.ok);
  ASSERT_EQ(video.streams.size(), 1u);
  EXPECT_EQ(video.streams[0].codec, "h264");
  ASSERT_EQ(audio.streams.size(), 1u);
  EXPECT_EQ(audio.streams[0].codec, "aac");
  EXPECT_EQ(DecodeErrors(files.video), "");
  EXPECT_EQ(DecodeErrors(files.audio), "");
  EXPECT_GT(ToneShare(DecodeAudio(files.audio), 440), 0.8);

  ASSERT_EQ(combined.streams.size(), 2u);
  EXPECT_EQ(combined.streams[0].codec, "h264");
  EXPECT_EQ(combined.streams[1].codec, "aac");
  EXPECT_EQ(DecodeErrors(path), "");
  ExpectSameTrack(combined.streams[0], video.streams[0]);
  ExpectSameTrack(combined.streams[1], audio.streams[0]);
  const double sourcesOffset = video.streams[0].StartSeconds() - audio.streams[0].StartSeconds();
  EXPECT_NEAR(AvOffset(combined), sourcesOffset, 1e-3);
  EXPECT_NEAR(combined.streams[0].DurationSeconds(), combined.streams[1].DurationSeconds(), 0.5);
  EXPECT_GT(combined.streams[0].DurationSeconds(), 4.0);
  EXPECT_NE(logs.Debug().find("Files combined successfully. Separate files kept in AudioAndVideo folder: " +
                              files.video + ", " + files.audio + "\n"),
            std::string::npos)
      << logs.Debug();
  EXPECT_NE(logs.Out().find("Experimental separate recording: video=" + files.video + ", audio=" + files.audio +
                            ", final=" + path + "\n"),
            std::string::npos);

  const std::string ordinaryPath = dir_ / "ordinary.mp4";
  ASSERT_TRUE(RecordFor([&] { qelRecordScreenWithAudio(ordinaryPath.c_str(), mic_.c_str()); }, 5).started);
  const ProbedFile ordinary = ProbeFile(ordinaryPath);
  ASSERT_TRUE(ordinary.ok && ordinary.Video() && ordinary.Audio());
  EXPECT_NEAR(AvOffset(combined), AvOffset(ordinary), 0.1);
}

// With music that is also played: the audio file's timestamps rise without
// a write error and span the video's, both files carry both tones, and the
// speaker plays the music.
TEST_F(SeparateRecordingTest, MusicWithPlaybackGoesIntoTheAudioFile) {
  const std::string path = dir_ / "music.mp4", music = Music();
  Logs logs;
  TimedRecording recording;
  const std::optional<std::vector<float>> speaker = RecordSpeakerWhile([&] {
    recording = RecordFor(
        [&] {
          qelRecordScreenWithAudioAndMusicWithDefaultDevPlaybackSeparate(path.c_str(), mic_.c_str(), music.c_str(),
                                                                          50);
        },
        6);
  });
  logs.Finish();
  ASSERT_TRUE(recording.started);
  EXPECT_EQ(logs.Err().find("Error in writing audio frame"), std::string::npos);
  EXPECT_NE(logs.Out().find("Calling VideoAudioWithMusicAndPlaybackThreadDriver with volume 0.50\n"),
            std::string::npos);
  const SeparateFiles files = FilesOf(dir_.path(), "music");
  const ProbedFile video = ProbeFile(files.video), audio = ProbeFile(files.audio);
  ASSERT_TRUE(video.ok && audio.ok && video.Video() && audio.Audio());
  const std::vector<int64_t>& pts = audio.Audio()->pts;
  for (size_t i = 1; i < pts.size(); ++i) ASSERT_LT(pts[i - 1], pts[i]) << "packet " << i;
  EXPECT_NEAR(audio.Audio()->StartSeconds(), video.Video()->StartSeconds(), 0.3);
  EXPECT_NEAR(EndSeconds(*audio.Audio()), EndSeconds(*video.Video()), 0.3);

  std::vector<float> sound = DecodeAudio(files.audio);
  const size_t from = static_cast<size_t>((FirstSoundSeconds(sound) + 2) * 44100);
  ASSERT_LT(from + 44100, sound.size());
  ExpectBothTonesEverywhere(std::vector<float>(sound.begin() + from, sound.end() - 4410), 0.5);
  const std::vector<float> combined = SoundOf(path);
  ASSERT_GT(combined.size(), 3u * 44100);
  ExpectBothTonesEverywhere(std::vector<float>(combined.begin() + 2 * 44100, combined.end()), 0.5);

  ASSERT_TRUE(speaker.has_value());
  const auto windows = ToneAmplitudes(*speaker, 44100, {1000, 1500});
  size_t withMusic = 0;
  for (const auto& window : windows) withMusic += std::max(window[0], window[1]) > 0.5 * kMusicLevel * 0.5;
  EXPECT_GT(withMusic, 300u);  // over 3 s of the 6 s
}

// Streams while recording into separate files: every stream decodes with
// both tracks and lasts as long as the combined file.
TEST_F(SeparateRecordingTest, StreamsCarryWhatTheFilesHold) {
  if (const std::string why = MissingRtmpTools(); !why.empty()) GTEST_SKIP() << why;
  RtmpServer first, second;
  ASSERT_TRUE(first.ok() && second.ok());
  const std::string one = dir_ / "one.mp4", two = dir_ / "two.mp4", music = Music();
  const std::string url = first.Url("single");
  Logs logs;
  bool started =
      RecordFor([&] { qelRecordAndStreamDesktopOneSeparate(mic_.c_str(), one.c_str(), url.c_str()); }, 5).started;
  const std::string urls[] = {first.Url("a"), second.Url("b")};
  const char* list[] = {urls[0].c_str(), urls[1].c_str()};
  started &= RecordFor([&] {
    qelRecordAndStreamDesktopWithMusicAndPlaybackSeparate(two.c_str(), mic_.c_str(), list, 2, music.c_str(), 50);
  }, 5).started;
  logs.Finish();
  ASSERT_TRUE(started) << logs.Out() << logs.Err();
  EXPECT_NE(logs.Out().find("[DEBUG] qelRecordAndStreamDesktopOneSeparate: Recording and streaming with separate "
                            "files completed\n"),
            std::string::npos);
  EXPECT_NE(logs.Out().find("[DEBUG] qelRecordAndStreamDesktopWithMusicAndPlaybackSeparate: Recording and streaming "
                            "to Multiple URL EndPoint with background music, playback device and separate files "
                            "completed\n"),
            std::string::npos);

  const std::pair<std::string, std::string> streams[] = {
      {one, first.RecordedFile("single")}, {two, first.RecordedFile("a")}, {two, second.RecordedFile("b")}};
  for (const auto& [combined, flv] : streams) {
    SCOPED_TRACE(flv);
    const ProbedFile file = ProbeFile(combined), stream = ProbeFile(flv);
    ASSERT_TRUE(file.ok && stream.ok && file.Video() && stream.Video() && stream.Audio());
    EXPECT_EQ(DecodeErrors(flv), "");
    EXPECT_EQ(DecodeErrors(combined), "");
    EXPECT_NEAR(stream.Video()->DurationSeconds(), file.Video()->DurationSeconds(), 0.5);
  }
  const std::vector<float> streamed = SoundOf(second.RecordedFile("b"));
  ASSERT_GT(streamed.size(), 3u * 44100);
  ExpectBothTonesEverywhere(std::vector<float>(streamed.begin() + 2 * 44100, streamed.end()), 0.5);
}

// The folder's name taken by a file: the set-up fails, says so, and the
// ordinary recording runs in its place.
TEST_F(SeparateRecordingTest, ASetUpFailureRecordsTheOrdinaryWay) {
  std::ofstream(dir_ / "AudioAndVideo") << "in the way";
  const std::string path = dir_ / "fallback.mp4";
  Logs logs;
  const bool started = RecordFor([&] { qelRecordScreenWithAudioSeparate(path.c_str(), mic_.c_str()); }, 4).started;
  logs.Finish();
  ASSERT_TRUE(started) << logs.Out() << logs.Err();
  EXPECT_NE(logs.Out().find("Error in RecAudioVideoSeparate: "), std::string::npos) << logs.Out();
  EXPECT_NE(logs.Debug().find("Error in RecAudioVideoSeparate: "), std::string::npos);
  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok);
  ASSERT_EQ(file.streams.size(), 2u);
  EXPECT_GT(file.Video()->DurationSeconds(), 3.0);
  EXPECT_EQ(DecodeErrors(path), "");
}

}  // namespace

namespace {

// A WAV file whose sound is in a format no decoder knows (tag 0x3131).
void WriteUndecodableWav(const std::string& path) {
  const uint32_t dataBytes = 44100 * 4;
  std::ofstream out(path, std::ios::binary);
  const auto put = [&out](uint32_t value, int bytes) { out.write(reinterpret_cast<const char*>(&value), bytes); };
  out << "RIFF";
  put(36 + dataBytes, 4);
  out << "WAVEfmt ";
  put(16, 4);
  put(0x3131, 2);
  put(2, 2);
  put(44100, 4);
  put(44100 * 4, 4);
  put(4, 2);
  put(16, 2);
  out << "data";
  put(dataBytes, 4);
  out << std::string(dataBytes, '\0');
}

}  // namespace

// Music that cannot be decoded: the separate recording runs without it, on
// the same two files, and they are combined as usual.
TEST_F(SeparateRecordingTest, MusicWithoutADecoderRecordsWithoutMusic) {
  const std::string path = dir_ / "nomusic.mp4", music = dir_ / "undecodable.wav";
  WriteUndecodableWav(music);
  Logs logs;
  const bool started = RecordFor([&] {
    qelRecordScreenWithAudioAndMusicSeparate(path.c_str(), mic_.c_str(), music.c_str(), 50);
  }, 3).started;
  logs.Finish();
  ASSERT_TRUE(started) << logs.Out() << logs.Err();
  const size_t missing = logs.Out().find("ERROR: Music codec context is NULL!\n");
  ASSERT_NE(missing, std::string::npos) << logs.Out();
  EXPECT_NE(logs.Out().find("Experimental separate recording: video=", missing), std::string::npos);
  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok);
  ASSERT_EQ(file.streams.size(), 2u);
  EXPECT_EQ(DecodeErrors(path), "");
  EXPECT_GT(ToneShare(DecodeAudio(path), 440), 0.8);
}
