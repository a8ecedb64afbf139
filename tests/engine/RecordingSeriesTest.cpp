// Many recordings in one process, as a day of use would make: every file
// must decode and memory must not grow from one to the next.
#include <gtest/gtest.h>
#include <malloc.h>
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
// AddressSanitizer holds freed memory in quarantine and replaces malloc, so
// neither measure says anything there; its leak check judges that build instead.
#ifdef __SANITIZE_ADDRESS__
constexpr bool kMemoryMeasuresApply = false;
#else
constexpr bool kMemoryMeasuresApply = true;
#endif

// Bytes the heap has handed out and not had back. Resident memory alone is a
// poor judge of a leak: glibc keeps an arena per thread that ever ran, and each
// recording starts new threads, so it drifts by megabytes on a busy machine.
long HeapInUseKiB() {
  const struct mallinfo2 info = ::mallinfo2();
  return static_cast<long>((info.uordblks + info.hblkhd) / 1024);
}

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
  long afterFirst = 0, heapAfterWarmUp = 0;
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
    // The first of each kind of recording fills the libraries' one-time tables.
    if (i == 2) heapAfterWarmUp = HeapInUseKiB();
  }
  const long afterLast = ResidentKiB();
  const long heapAfterLast = HeapInUseKiB();
  std::printf("resident KiB after the first recording %ld, after the last %ld; heap in use KiB after the third %ld, "
              "after the last %ld\n",
              afterFirst, afterLast, heapAfterWarmUp, heapAfterLast);
  if (kMemoryMeasuresApply) {
    // A frame or an encoder kept per recording would be hundreds of KiB each.
    EXPECT_LT(heapAfterLast - heapAfterWarmUp, 1024) << "heap in use KiB after the third " << heapAfterWarmUp
                                                     << ", after the last " << heapAfterLast;
    EXPECT_LT(afterLast - afterFirst, 32 * 1024) << "resident KiB after the first " << afterFirst
                                                 << ", after the last " << afterLast;
  }
}

}  // namespace
