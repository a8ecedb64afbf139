// Camera placement rules and the camera feed, with FFmpeg's virtual source
// standing in for a webcam: the picture arrives mirrored, in time, and a stop
// gives the device back at once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <thread>

#include "Processes.h"
#include "features/CameraPlacement.h"
#include "platform/CameraFeed.h"

using namespace orvex;
using namespace std::chrono;
using testsupport::ReadFile;
using testsupport::WaitUntil;

namespace {

const std::string kDebugLog = "/tmp/orvex-camera-feed-test-" + std::to_string(::getpid()) + ".log";
const bool kDebugLogSet = ::setenv("ORVEX_DEBUG_LOG", kDebugLog.c_str(), 1) == 0;
// Left half red, right half blue.
constexpr char kCamera[] = "lavfi:color=c=red:s=160x240:r=15,pad=320:240:0:0:blue";

TEST(CameraPlacementTest, PlacementsKeepTenPixelsFromTheEdges) {
  const QSize screen(1920, 1080);
  EXPECT_EQ(CameraOverlayRect(3, 200, screen), QRect(1710, 870, 200, 200));
  EXPECT_EQ(CameraOverlayRect(8, 201, screen).topLeft(), QPoint(859, 439));
  EXPECT_EQ(CameraOverlayRect(0, 200, screen).topLeft(), QPoint(10, 10));
  EXPECT_EQ(CameraOverlayRect(4, 200, screen).topLeft(), QPoint(860, 10));
  EXPECT_EQ(CameraOverlayRect(7, 200, screen).topLeft(), QPoint(1710, 440));
  EXPECT_EQ(CameraOverlayRect(12, 200, screen).topLeft(), QPoint(10, 10));
  EXPECT_EQ(CameraPlacementValue("center"), 8);
  EXPECT_EQ(CameraPlacementValue("BOTTOM RIGHT"), 3);
  EXPECT_EQ(CameraPlacementValue("Centre"), 0);
  EXPECT_EQ(DrawnCameraSize(0, screen), 1);
  EXPECT_EQ(DrawnCameraSize(50000, screen), 1080);
  EXPECT_EQ(DrawnCameraSize(200, screen), 200);
  EXPECT_EQ(CameraCardText("USB Camera", 200, 1, 3), "\U0001F4F9 LIVE\n\nUSB Camera\n\n200px \u2022 Square \u2022 Bottom Right");
}

TEST(CameraPlacementTest, PreviewLayoutCentresTheListRightOfItsLabel) {
  PreviewGeometry narrow = LayOutPreview(QSize(480, 400), 50);
  EXPECT_EQ(narrow.list.x(), 70);
  EXPECT_EQ(narrow.list.width(), 350);
  EXPECT_EQ(narrow.label, QRect(10, 10, 50, 14));
  EXPECT_EQ(narrow.video, QRect(10, 40, 460, 350));
  PreviewGeometry wide = LayOutPreview(QSize(1200, 800), 50);
  EXPECT_EQ(wide.list.x(), 350);
  EXPECT_EQ(wide.list.width(), 500);
  EXPECT_EQ(LayOutPreview(QSize(650, 400), 0).list.width(), 400);
  EXPECT_TRUE(LayOutPreview(QSize(0, 400), 50).video.isNull());
}

class CameraFeedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kDebugLogSet);
    if (!testsupport::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    debugStart_ = ReadFile(kDebugLog).size();
  }
  std::string Debug() const { return ReadFile(kDebugLog).substr(debugStart_); }
  size_t debugStart_ = 0;
};

TEST_F(CameraFeedTest, PicturesArriveMirroredAtTheSourcesRate) {
  FfmpegCameraFeed feed;
  feed.SetPictureSize(QSize(200, 200));
  std::atomic<int> pictures{0};
  std::atomic<bool> started{false};
  QImage last;
  std::mutex lastLock;
  CameraFeed::Callbacks callbacks;
  callbacks.started = [&] { started = true; };
  callbacks.pictureReady = [&] {
    // Taken at once, so every picture announces itself.
    QImage picture = feed.TakePicture();
    std::lock_guard<std::mutex> guard(lastLock);
    if (!picture.isNull()) last = picture;
    ++pictures;
  };
  feed.Start(kCamera, callbacks);
  ASSERT_TRUE(WaitUntil([&] { return started.load(); }, seconds(10))) << Debug();
  const int before = pictures;
  std::this_thread::sleep_for(seconds(2));
  const int inTwoSeconds = pictures - before;
  EXPECT_GE(inTwoSeconds, 24);  // 15 per second, paced by their timestamps
  EXPECT_LE(inTwoSeconds, 36);
  {
    std::lock_guard<std::mutex> guard(lastLock);
    ASSERT_EQ(last.size(), QSize(200, 200));
    EXPECT_EQ(QColor(last.pixel(40, 100)), QColor(Qt::blue)) << "mirrored: blue on the left";
    EXPECT_EQ(QColor(last.pixel(160, 100)), QColor(Qt::red));
  }
  const auto stopping = steady_clock::now();
  feed.Stop();
  EXPECT_LT(steady_clock::now() - stopping, milliseconds(500));
  EXPECT_FALSE(feed.running());
  const std::string debug = Debug();
  EXPECT_NE(debug.find("Video capture initialized successfully\n"), std::string::npos);
  EXPECT_NE(debug.find("Video capture started successfully\n"), std::string::npos);
  EXPECT_LT(debug.find("initialized successfully"), debug.find("started successfully"));
}

TEST_F(CameraFeedTest, ACameraThatIsNotThereFailsWithItsLines) {
  FfmpegCameraFeed feed(PreviewLogWords());
  std::atomic<bool> failed{false};
  CameraFeed::Callbacks callbacks;
  callbacks.failed = [&] { failed = true; };
  feed.Start("No Such Camera 9000", callbacks);
  ASSERT_TRUE(WaitUntil([&] { return failed.load(); }, seconds(5)));
  feed.Stop();
  EXPECT_NE(Debug().find("Failed to find video capture device for camera preview\n"
                         "Camera preview video capture initialization failed\n"),
            std::string::npos)
      << Debug();

  FfmpegCameraFeed broken;
  failed = false;
  broken.Start("lavfi:nosuchfilter=x=1", callbacks);
  ASSERT_TRUE(WaitUntil([&] { return failed.load(); }, seconds(5)));
  broken.Stop();
  EXPECT_NE(Debug().find("Failed to add video capture filter\nVideo capture initialization failed\n"), std::string::npos);
}

TEST_F(CameraFeedTest, StopEndsABlockedReadAndTheFeedStartsAgain) {
  // A source that gives one picture every 20 s: the thread waits inside it.
  FfmpegCameraFeed feed;
  std::atomic<bool> started{false};
  CameraFeed::Callbacks callbacks;
  callbacks.started = [&] { started = true; };
  feed.Start("lavfi:color=c=green:s=64x64:r=0.05", callbacks);
  ASSERT_TRUE(WaitUntil([&] { return started.load(); }, seconds(10)));
  std::this_thread::sleep_for(milliseconds(300));
  auto stopping = steady_clock::now();
  feed.Stop();
  EXPECT_LT(steady_clock::now() - stopping, milliseconds(500));
  started = false;
  feed.Start(kCamera, callbacks);
  EXPECT_TRUE(WaitUntil([&] { return started.load(); }, seconds(10)));
}

}  // namespace
