// The camera overlay and the camera preview on a real X display, recorded by
// the real engine, with FFmpeg's virtual source as the webcam (left half red,
// right half blue) in front of a plain green window. Driven with xdotool.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>

#include "FakePrompts.h"
#include "FakeServices.h"
#include "Fixtures.h"
#include "MediaProbe.h"
#include "RecordingEnvironment.h"
#include "core/CapmillEngine.h"
#include "core/MainDialog.h"
#include "core/Settings.h"
#include "features/CameraOverlayDialog.h"
#include "features/CameraPreviewDialog.h"
#include "platform/RegistryStore.h"

using namespace orvex;
using namespace testsupport;

namespace {

constexpr int kWidth = 1280, kHeight = 720;
const std::string kDebugLog = "/tmp/orvex-camera-windows-test-" + std::to_string(::getpid()) + ".log";
constexpr char kCamera[] = "lavfi:color=c=red:s=160x240:r=15,pad=320:240:0:0:blue";
constexpr char kYellowCamera[] = "lavfi:color=c=yellow:s=320x240:r=15";
constexpr char kMissingCamera[] = "Missing Camera";
constexpr uint32_t kRed = 0xff0000, kBlue = 0x0000ff, kGreen = 0x00ff00, kYellow = 0xffff00, kCard = 0x141414;

std::string Xdotool(const std::string& arguments) {
  std::string output;
  RunCommand("xdotool " + arguments, &output);
  return output;
}

class CameraWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_RECORDING_ENVIRONMENT();
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "HOME"}) ::setenv(name, dir_.path().c_str(), 1);
    Store("FolderPath", dir_ / "rec");
    Store("DefaultOutfilename", "Take");
    Store("ShowAdvancedOptions", "TRUE");
    Store("IncludeCamera", "TRUE");
    Store("CameraSize", "200");
    Store("CameraPlacement", "Bottom Right");
    Store("SelectedCamera", kCamera);
    std::filesystem::create_directories(dir_ / "rec");
    // A plain green desktop behind everything.
    backdrop_.setStyleSheet("background-color: #00ff00;");
    backdrop_.setGeometry(0, 0, kWidth, kHeight);
    backdrop_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&backdrop_));
    debugStart_ = ReadFile(kDebugLog).size();
  }
  void Store(const std::string& name, const std::string& value) { store_.WriteValue(kRootKey, name, value); }
  std::unique_ptr<CMainDlg> Make() {
    MainWindowServices services{store_, prompts_, launcher_, engine_, times_, cameras_, &notifier_, nullptr,
                                "/opt/orvex/OrvexLite"};
    services.cameraNames = [] { return std::vector<std::string>{kCamera, kYellowCamera, kMissingCamera}; };
    auto window = std::make_unique<CMainDlg>(services);
    window->move(20, 20);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return window;
  }
  std::string Debug() const { return ReadFile(kDebugLog).substr(debugStart_); }
  // Starts as the button does and waits for the engine's clock and the camera's first picture.
  void StartRecording(CMainDlg& window, bool waitForCamera = true) {
    QTest::mouseClick(window.ControlAs<QPushButton>(IDC_START_STOP), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine_.GetGlobalTimer() != nullptr; }, 10000));
    if (waitForCamera)
      ASSERT_TRUE(QTest::qWaitFor([&] { return window.cameraOverlay() && window.cameraOverlay()->capturing(); }, 10000))
          << Debug();
  }
  // Stops and returns the finished file.
  std::string StopRecording(CMainDlg& window) {
    QSignalSpy finished(&window.controller(), &RecordingController::RecordingFinished);
    QTest::mouseClick(window.ControlAs<QPushButton>(IDC_START_STOP), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished.count() >= 1; }, 15000));
    return finished.count() ? finished[0][0].toString().toStdString() : "";
  }
  static bool Colour(const RgbPicture& picture, int x, int y, uint32_t expected) {
    return CloseColour(picture.At(x, y), expected, 40);
  }

  QWidget backdrop_;
  TempDir dir_;
  RegistryStore store_{dir_ / "OrvexLite/registry.txt", dir_ / "autostart"};
  FakePrompts prompts_;
  FakeLauncher launcher_;
  FakeSystemTimes times_;
  FakeCameras cameras_;
  FakeNotifier notifier_;
  CapmillEngine engine_;
  size_t debugStart_ = 0;
};

TEST_F(CameraWindowsTest, TheOverlayIsRecordedMirroredInItsCircleWithoutTakingTheFocus) {
  auto window = Make();
  Xdotool("windowfocus --sync " + std::to_string(window->winId()));
  QTest::qWait(200);
  const std::string focusBefore = Xdotool("getwindowfocus");
  StartRecording(*window);
  CCameraOverlayDlg* overlay = window->cameraOverlay();
  EXPECT_EQ(overlay->geometry(), QRect(1070, 510, 200, 200));
  EXPECT_EQ(Xdotool("getwindowfocus"), focusBefore);
  std::string properties;
  RunCommand("xprop -id " + std::to_string(overlay->winId()), &properties);
  EXPECT_NE(properties.find("_NET_WM_STATE_ABOVE"), std::string::npos) << properties;
  EXPECT_NE(properties.find("Client accepts input or input focus: False"), std::string::npos) << properties;
  QTest::qWait(2500);
  const std::string path = StopRecording(*window);
  EXPECT_FALSE(overlay->isVisible());
  EXPECT_FALSE(overlay->feedRunning());

  const RgbPicture picture = DecodePicture(path, 2.0);
  ASSERT_TRUE(picture.ok()) << path;
  EXPECT_TRUE(Colour(picture, 1120, 610, kBlue)) << std::hex << picture.At(1120, 610);
  EXPECT_TRUE(Colour(picture, 1220, 610, kRed)) << std::hex << picture.At(1220, 610);
  EXPECT_TRUE(Colour(picture, 1075, 515, kGreen)) << std::hex << picture.At(1075, 515);
  const std::string debug = Debug();
  for (const char* line : {"Video capture initialized successfully\n",
                           "Video capture started successfully\n", "Camera overlay shown\n", "Video capture stopped\n",
                           "Video capture cleaned up\n", "Camera overlay hidden\n"})
    EXPECT_NE(debug.find(line), std::string::npos) << line;
}

TEST_F(CameraWindowsTest, SquareAndCentreAndACameraThatIsNotThere) {
  Store("CameraAreaShape", "1");
  auto window = Make();
  StartRecording(*window);
  QTest::qWait(1500);
  // Centred during the recording: the overlay moves to its new place.
  window->ControlAs<QComboBox>(IDC_PLACEMENT)->setCurrentText("Center");
  QTest::qWait(1500);
  window->ControlAs<QComboBox>(IDC_CAMERA)->setCurrentText(kMissingCamera);
  QTest::qWait(1500);
  std::string path = StopRecording(*window);
  RgbPicture square = DecodePicture(path, 1.0);
  ASSERT_TRUE(square.ok());
  EXPECT_TRUE(Colour(square, 1075, 515, kBlue)) << std::hex << square.At(1075, 515);
  RgbPicture centred = DecodePicture(path, 2.5);
  EXPECT_TRUE(Colour(centred, 542, 262, kBlue)) << std::hex << centred.At(542, 262);
  EXPECT_TRUE(Colour(centred, 735, 455, kRed)) << std::hex << centred.At(735, 455);
  RgbPicture card = DecodePicture(path, 4.0);
  EXPECT_TRUE(Colour(card, 545, 455, kCard)) << std::hex << card.At(545, 455);
  const std::string debug = Debug();
  const size_t restart = debug.find("Restarting video capture with new camera\n");
  ASSERT_NE(restart, std::string::npos) << debug;
  EXPECT_NE(debug.find("Failed to find video capture device\nVideo capture initialization failed\n", restart),
            std::string::npos)
      << debug;
}

TEST_F(CameraWindowsTest, ACameraChangeRestartsTheCaptureAndASizeChangeKeepsIt) {
  auto window = Make();
  StartRecording(*window);
  CCameraOverlayDlg* overlay = window->cameraOverlay();
  // The size edit is locked while recording; the overlay takes a new size all the same.
  overlay->SetCameraProperties(kCamera, 240, 0, 3);
  EXPECT_EQ(overlay->geometry(), QRect(kWidth - 250, kHeight - 250, 240, 240));
  EXPECT_TRUE(overlay->capturing());
  EXPECT_EQ(Debug().find("Video capture stopped\n"), std::string::npos);
  window->ControlAs<QComboBox>(IDC_CAMERA)->setCurrentText(kYellowCamera);
  ASSERT_TRUE(QTest::qWaitFor([&] { return overlay->capturing(); }, 5000));
  QTest::qWait(1500);
  const std::string path = StopRecording(*window);
  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok);
  const RgbPicture last = DecodePicture(path, file.Video()->DurationSeconds() - 0.5);
  EXPECT_TRUE(Colour(last, kWidth - 130, kHeight - 130, kYellow)) << std::hex << last.At(kWidth - 130, kHeight - 130);
  EXPECT_NE(Debug().find("Video capture stopped\nVideo capture cleaned up\nRestarting video capture with new camera\n"),
            std::string::npos)
      << Debug();
}

TEST_F(CameraWindowsTest, DraggedWithTheMouseBackWithAShapeChangeHiddenWithARightClick) {
  auto window = Make();
  StartRecording(*window);
  CCameraOverlayDlg* overlay = window->cameraOverlay();
  const QPoint start = overlay->geometry().center();
  Xdotool(QString("mousemove --sync %1 %2 mousedown 1").arg(start.x()).arg(start.y()).toStdString());
  QTest::qWait(100);
  Xdotool(QString("mousemove --sync %1 %2").arg(start.x() - 60).arg(start.y() - 30).toStdString());
  QTest::qWait(100);
  Xdotool(QString("mousemove --sync %1 %2 mouseup 1").arg(start.x() - 300).arg(start.y() - 200).toStdString());
  ASSERT_TRUE(QTest::qWaitFor([&] { return overlay->pos() == QPoint(1070 - 300, 510 - 200); }, 2000))
      << overlay->pos().x() << "," << overlay->pos().y();
  QTest::mouseClick(window->ControlAs<QRadioButton>(IDC_SQUARE), Qt::LeftButton, {}, QPoint(8, 8));
  EXPECT_EQ(overlay->pos(), QPoint(1070, 510));
  const QPoint centre = overlay->geometry().center();
  Xdotool(QString("mousemove --sync %1 %2 click 3").arg(centre.x()).arg(centre.y()).toStdString());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !overlay->isVisible(); }, 2000));
  EXPECT_FALSE(overlay->feedRunning());
  StopRecording(*window);
}

TEST_F(CameraWindowsTest, ThePreviewTakesTheCameraFromTheOverlayAndGivesItBack) {
  auto window = Make();
  StartRecording(*window);
  QElapsedTimer recorded;  // about the recording's own time: its clock has just started
  recorded.start();
  window->OnShowCamera();
  window->OnTrayCommand(32782);  // "Show Camera" from the tray: the same window
  int previews = 0;
  for (QWidget* widget : QApplication::topLevelWidgets())
    previews += qobject_cast<CCameraPreviewDlg*>(widget) && widget->isVisible();
  EXPECT_EQ(previews, 1);
  CCameraPreviewDlg* preview = window->cameraPreview();
  ASSERT_NE(preview, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return preview->capturing(); }, 10000)) << Debug();
  const std::string debug = Debug();
  EXPECT_LT(debug.find("Video capture cleaned up\n"), debug.find("Camera preview video capture started successfully\n"));
  EXPECT_FALSE(window->cameraOverlay()->isVisible());

  // Full screen by its key: the recording shows the camera over the whole screen.
  Xdotool("windowfocus --sync " + std::to_string(preview->winId()));
  Xdotool("key alt+f");
  ASSERT_TRUE(QTest::qWaitFor([&] { return preview->fullScreen(); }, 3000));
  EXPECT_EQ(preview->geometry(), QRect(0, 0, kWidth, kHeight));
  const double fullScreenAt = recorded.elapsed() / 1000.0 + 0.75;
  QTest::qWait(1500);
  Xdotool("windowfocus --sync " + std::to_string(preview->winId()));
  Xdotool("key alt+p");
  ASSERT_TRUE(QTest::qWaitFor([&] { return engine_.IsRecordingPaused(); }, 3000)) << Debug();
  EXPECT_TRUE(preview->MenuEntries().contains("Resume\tAlt+R"));
  Xdotool("key alt+R");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !engine_.IsRecordingPaused(); }, 3000));
  Xdotool("key Escape");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !preview->fullScreen(); }, 3000));
  EXPECT_TRUE(preview->isVisible());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(preview));
  QTest::qWait(200);
  Xdotool("windowfocus --sync " + std::to_string(preview->winId()));
  Xdotool("key Escape");
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->cameraPreview() == nullptr; }, 3000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Debug().find("Camera preview dialog pointer cleared\n") != std::string::npos; }, 3000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->cameraOverlay()->capturing(); }, 10000));
  EXPECT_TRUE(window->cameraOverlay()->isVisible());
  const std::string path = StopRecording(*window);

  const RgbPicture full = DecodePicture(path, fullScreenAt);
  ASSERT_TRUE(full.ok()) << path << " " << ProbeFile(path).durationSeconds;
  EXPECT_TRUE(Colour(full, 200, 400, kBlue)) << std::hex << full.At(200, 400);
  EXPECT_TRUE(Colour(full, 1080, 400, kRed)) << std::hex << full.At(1080, 400);
}

TEST_F(CameraWindowsTest, WithoutARecordingThePreviewOffersNoPause) {
  Store("IncludeCamera", "FALSE");
  auto window = Make();
  window->OnShowCamera();
  CCameraPreviewDlg* preview = window->cameraPreview();
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(preview->windowTitle().toStdString(),
            "Camera Preview | Press Alt+F for Full Screen | Press Alt+P for Pause | Press Alt+R for Resume | Press "
            "Alt+X for Exit | Press Esc to Exit Full Screen");
  EXPECT_EQ(preview->cameraList()->count(), 3);
  EXPECT_EQ(preview->cameraList()->currentText().toStdString(), kCamera);
  Xdotool("windowfocus --sync " + std::to_string(preview->winId()));
  Xdotool("key alt+p");
  QTest::qWait(300);
  EXPECT_EQ(Debug().find("Recording paused from camera preview dialog"), std::string::npos);
  EXPECT_EQ(preview->MenuEntries(), (QStringList{"Full Screen\tAlt+F", "Exit\tAlt+X"}));
  Xdotool("key alt+x");
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->cameraPreview() == nullptr; }, 3000));
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("ORVEX_DEBUG_LOG", kDebugLog.c_str(), 1);
  ::testing::InitGoogleTest(&argc, argv);
  RecordingEnvironment::Start(kWidth, kHeight);
  int result = 0;
  {
    const bool haveDisplay = RecordingEnvironment::Get().skipReason.empty() && RecordingEnvironment::Get().failure.empty();
    ::setenv("QT_QPA_PLATFORM", haveDisplay ? "xcb" : "offscreen", 1);
    QApplication application(argc, argv);
    result = RUN_ALL_TESTS();
  }
  RecordingEnvironment::Stop();
  std::remove(kDebugLog.c_str());
  return result;
}
