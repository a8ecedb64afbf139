// Many recordings in one process, as a day of use would make: every file
// must decode and memory must not grow from one to the next.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <thread>

#include "Fixtures.h"
#include "MediaProbe.h"
#include "RecordingEnvironment.h"
#include "capmill/capmill.h"

using namespace testsupport;

namespace {

constexpr int kRecordings = 20;
// AddressSanitizer holds freed memory in quarantine, so resident memory says
// nothing there; its leak check judges that build instead.
#ifdef __SANITIZE_ADDRESS__
constexpr bool kResidentMemoryApplies = false;
#else
constexpr bool kResidentMemoryApplies = true;
#endif

long ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

class RecordingSeriesTest : public RecordingSuite<640, 480> {};

TEST_F(RecordingSeriesTest, TwentyRecordingsInARowDecodeAndLeaveNoMemoryBehind) {
  if (const std::string why = MissingRtmpTools(); !why.empty()) GTEST_SKIP() << why;
  RtmpServer server;
  ASSERT_TRUE(server.ok());
  qelsetFrameRate(10);
  qelSetCrf(30);
  qelSetVideoRes(640, 480);
  TempDir dir;
  const std::string mic = RecordingEnvironment::MicInput();
  long afterFirst = 0;
  for (int i = 0; i < kRecordings; ++i) {
    const std::string path = dir / ("take" + std::to_string(i) + ".mp4");
    const std::string url = server.Url("series" + std::to_string(i));
    std::thread recording([&, i] {
      switch (i % 3) {
        case 0: qelRecordScreen(path.c_str()); break;
        case 1: qelRecordScreenWithAudio(path.c_str(), mic.c_str()); break;
        default: qelRecordAndStreamDesktopOne(mic.c_str(), path.c_str(), url.c_str()); break;
      }
    });
    ASSERT_TRUE(WaitUntil([] { return qelGetGlobalTimer() != nullptr; }, std::chrono::seconds(15))) << i;
    std::this_thread::sleep_for(std::chrono::seconds(1));
    qelStopRecording();
    recording.join();
    const ProbedFile file = ProbeFile(path);
    ASSERT_TRUE(file.ok) << path;
    ASSERT_NE(file.Video(), nullptr) << path;
    EXPECT_EQ(file.Audio() != nullptr, i % 3 != 0) << path;
    EXPECT_EQ(DecodeErrors(path), "") << path;
    if (i == 0) afterFirst = ResidentKiB();
  }
  const long afterLast = ResidentKiB();
  std::printf("resident KiB after the first recording %ld, after the last %ld\n", afterFirst, afterLast);
  if (kResidentMemoryApplies)
    EXPECT_LT(afterLast - afterFirst, 10 * 1024) << "resident KiB after the first " << afterFirst << ", after the last "
                                               << afterLast;
}

}  // namespace
