// Microphone and camera lists against a real PulseAudio server.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <vector>
#include <filesystem>
#include <tuple>

#include "Fixtures.h"
#include "LogCapture.h"
#include "MediaProbe.h"
#include "TimedRecording.h"
#include "capmill/capmill.h"

using namespace testsupport;

namespace {

std::vector<std::string> Microphones() {
  char* names[20] = {};
  const int count = qelGetAvailableMicrophones(names, 20);
  std::vector<std::string> list(names, names + std::max(count, 0));
  qelFreeDeviceList(names, count);
  return list;
}

TEST(DeviceEnumeration, ListsSourcesWithoutMonitorsAndRecordsTheDefault) {
  if (const std::string why = MissingAudioTools(); !why.empty()) GTEST_SKIP() << why;
  if (const std::string why = MissingDesktopTools(); !why.empty()) GTEST_SKIP() << why;
  VirtualDesktop desktop(640, 480, false);
  VirtualMicrophone server(true);
  ASSERT_TRUE(desktop.ok());
  ASSERT_TRUE(server.ok());
  const std::string first = server.Description("mic"), second = server.Description("mic2");
  ASSERT_FALSE(second.empty());

  LogCapture logs;
  const std::vector<std::string> list = Microphones();
  EXPECT_EQ(list, (std::vector<std::string>{first, second}));  // no "Monitor of ..." sources
  EXPECT_EQ(qelGetAvailableMicrophones(nullptr, 0), 2);
  EXPECT_NE(logs.Debug().find("GetAvailableMicrophones: Starting enumeration...\n"), std::string::npos);
  EXPECT_NE(logs.Debug().find("Found microphone: " + first + "\n"), std::string::npos);
  EXPECT_NE(logs.Debug().find("Total microphones found: 2\n"), std::string::npos);
  EXPECT_NE(logs.Debug().find("GetAvailableMicrophones: Returning 2 devices\n"), std::string::npos);

  // The default text names the server's default source, and records from it.
  for (const auto& [source, description, tone] :
       std::vector<std::tuple<std::string, std::string, double>>{{"mic", first, 440}, {"mic2", second, 880}}) {
    server.Pactl("set-default-source " + source);
    const std::string text = qelGetDefaultAudioDeviceNameAsString();
    EXPECT_EQ(text, "audio=" + description);
    char* copy = qelGetDefaultAudioDeviceName();
    EXPECT_EQ(std::string(copy), text);
    std::free(copy);

    TempDir dir;
    const std::string path = dir / "default.mp4";
    // The sine source hands over its sound in blocks of two seconds.
    ASSERT_TRUE(RecordFor([&] { qelRecordScreenWithAudio(path.c_str(), text.c_str()); }, 3).started);
    EXPECT_GT(ToneShare(DecodeAudio(path), tone), 0.5) << description;
  }
}

TEST(DeviceEnumeration, UnreachableServerGivesThePlaceholders) {
  ::setenv("PULSE_SERVER", "unix:/nonexistent/pulse/native", 1);
  LogCapture logs;
  EXPECT_EQ(Microphones(),
            (std::vector<std::string>{"Microphone (Realtek Audio)", "USB Microphone", "Headset Microphone"}));
  EXPECT_EQ(qelGetAvailableMicrophones(nullptr, 20), 3);
  EXPECT_EQ(qelGetDefaultAudioDeviceNameAsString(), "audio=");
  EXPECT_NE(logs.Debug().find("Failed to enumerate microphones, HRESULT: 0x80004005\npEnum is null: true\n"),
            std::string::npos);
  ::unsetenv("PULSE_SERVER");
}

std::string ReadFirstLine(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return line;
}

TEST(DeviceEnumeration, CamerasAreVideoCaptureNodesOrThePlaceholders) {
  char* names[20] = {};
  const int count = qelGetAvailableCameras(names, 20);
  ASSERT_GT(count, 0);
  std::vector<std::string> cardNames;  // what the kernel calls each video node
  for (const auto& entry : std::filesystem::directory_iterator("/dev"))
    if (entry.path().filename().string().rfind("video", 0) == 0)
      cardNames.push_back(ReadFirstLine("/sys/class/video4linux/" + entry.path().filename().string() + "/name"));
  if (cardNames.empty()) {
    EXPECT_EQ(count, 3);
    EXPECT_STREQ(names[0], "USB Camera");
    EXPECT_STREQ(names[2], "Webcam Pro");
  } else {
    // Only nodes that capture are listed, each under its card's name.
    EXPECT_LE(count, static_cast<int>(cardNames.size()));
    for (int i = 0; i < count; ++i)
      EXPECT_NE(std::find(cardNames.begin(), cardNames.end(), names[i]), cardNames.end()) << names[i];
  }
  qelFreeDeviceList(names, count);
}

}  // namespace
