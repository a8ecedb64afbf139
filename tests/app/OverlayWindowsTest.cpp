// The camera overlay, the camera preview and the brand overlay on a real X
// display, recorded by the real engine, in front of a plain green window that
// counts the clicks it receives. FFmpeg's virtual source is the webcam (left
// half red, right half blue); the logo is left half magenta, right half
// yellow. Driven with xdotool.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QMouseEvent>
#include <QPainter>
#include <QElapsedTimer>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "FakePrompts.h"
#include "FakeServices.h"
#include "Fixtures.h"
#include "MediaProbe.h"
#include "DisplayTestMain.h"
#include "RealWindowFixture.h"
#include "RecordingEnvironment.h"
#include "core/CapmillEngine.h"
#include "core/MainDialog.h"
#include "core/Settings.h"
#include "features/BrandOverlayDialog.h"
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
constexpr uint32_t kMagenta = 0xff00ff, kWhite = 0xffffff;

// The desktop behind the overlays: plain green, counting the clicks it gets.
class Backdrop : public QWidget {
 public:
  int clicks = 0;

 protected:
  void mousePressEvent(QMouseEvent*) override { ++clicks; }
};

std::string Xdotool(const std::string& arguments) {
  std::string output;
  RunCommand("xdotool " + arguments, &output);
  return output;
}

class OverlayWindowsTest : public RealWindowTest {
 protected:
  void SetUp() override {
    RealWindowTest::SetUp();
    if (HasFatalFailure() || IsSkipped()) return;
    Store("ShowAdvancedOptions", "TRUE");
    Store("IncludeCamera", "TRUE");
    Store("CameraSize", "200");
    Store("CameraPlacement", "Bottom Right");
    Store("SelectedCamera", kCamera);
    // A plain green desktop behind everything.
    backdrop_.setStyleSheet("background-color: #00ff00;");
    backdrop_.setGeometry(0, 0, kWidth, kHeight);
    backdrop_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&backdrop_));
    debugStart_ = ReadFile(kDebugLog).size();
  }
  std::unique_ptr<CMainDlg> Make() {
    MainWindowServices services = Services();
    services.cameraNames = [] { return std::vector<std::string>{kCamera, kYellowCamera, kMissingCamera}; };
    auto window = Show(services);
    window->move(20, 20);
    return window;
  }
  std::string Debug() const { return ReadFile(kDebugLog).substr(debugStart_); }
  // Starts as the button does and waits for the engine's clock and the camera's first picture.
  void StartRecording(CMainDlg& window, bool waitForCamera = true) {
    QTest::mouseClick(window.ControlAs<QPushButton>(IDC_START_STOP), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine_.GetGlobalTimer() != nullptr; }, 10000));
    if (waitForCamera) {
      ASSERT_TRUE(QTest::qWaitFor([&] { return window.cameraOverlay() && window.cameraOverlay()->capturing(); }, 10000))
          << Debug();
    }
  }
  // Stops and returns the finished file.
  std::string StopRecording(CMainDlg& window) {
    QSignalSpy finished(&window.controller(), &RecordingController::RecordingFinished);
    QTest::mouseClick(window.ControlAs<QPushButton>(IDC_START_STOP), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished.count() >= 1; }, 15000));
    return finished.count() ? finished[0][0].toString().toStdString() : "";
  }
  template <typename Answer>
  static void WhenModalShows(Answer answer) {
    QTimer::singleShot(100, answer);
  }
  static bool Colour(const RgbPicture& picture, int x, int y, uint32_t expected) {
    return CloseColour(picture.At(x, y), expected, 40);
  }

  // A 400x100 logo, left half magenta, right half yellow.
  std::string MakeLogo() {
    QImage logo(400, 100, QImage::Format_RGB32);
    logo.fill(QColor(255, 255, 0));
    QPainter(&logo).fillRect(0, 0, 200, 100, QColor(255, 0, 255));
    const std::string path = dir_ / "logo.png";
    EXPECT_TRUE(logo.save(QString::fromStdString(path)));
    return path;
  }
  // Brand on, logo only, 250x200 on a white background.
  void StoreBrand(int position, bool transparent) {
    Store("IncludeCamera", "FALSE");
    Store("EnableBrand", "TRUE");
    Store("BrandShowName", "FALSE");
    Store("BrandShowTitle", "FALSE");
    Store("BrandLogoPath", MakeLogo());
    Store("BrandPosition", std::to_string(position));
    Store("BrandTransparent", transparent ? "TRUE" : "FALSE");
  }

  Backdrop backdrop_;
  size_t debugStart_ = 0;
};

TEST_F(OverlayWindowsTest, TheOverlayIsRecordedMirroredInItsCircleWithoutTakingTheFocus) {
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

TEST_F(OverlayWindowsTest, SquareAndCentreAndACameraThatIsNotThere) {
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

TEST_F(OverlayWindowsTest, ACameraChangeRestartsTheCaptureAndASizeChangeKeepsIt) {
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

TEST_F(OverlayWindowsTest, DraggedWithTheMouseBackWithAShapeChangeHiddenWithARightClick) {
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

TEST_F(OverlayWindowsTest, ThePreviewTakesTheCameraFromTheOverlayAndGivesItBack) {
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
  // "Include Camera" ticked again while the preview holds the camera: no overlay, no "LIVE" card.
  auto* include = window->ControlAs<QCheckBox>(IDC_INCLUDE_CAMERA);
  for (int click = 0; click < 2; ++click) QTest::mouseClick(include, Qt::LeftButton, {}, QPoint(8, include->height() / 2));
  EXPECT_TRUE(include->isChecked());
  EXPECT_FALSE(window->cameraOverlay()->isVisible());
  EXPECT_FALSE(window->cameraOverlay()->feedRunning());

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

TEST_F(OverlayWindowsTest, WithoutARecordingThePreviewOffersNoPause) {
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

TEST_F(OverlayWindowsTest, TheBrandIsRecordedAtItsCornerAndMovesWithItsSettings) {
  StoreBrand(3, false);
  auto window = Make();
  const std::string focusBefore = Xdotool("getwindowfocus");
  StartRecording(*window, false);
  QElapsedTimer recorded;
  recorded.start();
  ASSERT_NE(window->brandOverlay(), nullptr);
  EXPECT_TRUE(window->brandOverlay()->isVisible());
  EXPECT_EQ(window->brandOverlay()->geometry(), QRect(1020, 510, 250, 200));
  EXPECT_EQ(Xdotool("getwindowfocus"), focusBefore);
  QTest::qWait(2500);
  // Brand Settings closed with OK while recording: the overlay follows.
  Store("BrandPosition", "0");
  window->ShowBrandOverlay();
  const double topLeftAt = recorded.elapsed() / 1000.0 + 1.0;
  EXPECT_EQ(window->brandOverlay()->pos(), QPoint(10, 10));
  QTest::qWait(2000);
  const std::string path = StopRecording(*window);
  EXPECT_FALSE(window->brandOverlay()->isVisible());

  const RgbPicture corner = DecodePicture(path, 2.0);
  ASSERT_TRUE(corner.ok());
  EXPECT_TRUE(Colour(corner, 1088, 609, kMagenta)) << std::hex << corner.At(1088, 609);
  EXPECT_TRUE(Colour(corner, 1202, 609, kYellow)) << std::hex << corner.At(1202, 609);
  EXPECT_TRUE(Colour(corner, 1030, 530, kWhite)) << std::hex << corner.At(1030, 530);
  const RgbPicture topLeft = DecodePicture(path, topLeftAt);
  EXPECT_TRUE(Colour(topLeft, 10 + 68, 10 + 99, kMagenta)) << std::hex << topLeft.At(78, 109);
  EXPECT_TRUE(Colour(topLeft, 10 + 182, 10 + 99, kYellow)) << std::hex << topLeft.At(192, 109);
  EXPECT_TRUE(Colour(topLeft, 10 + 10, 10 + 20, kWhite)) << std::hex << topLeft.At(20, 30);
  EXPECT_NE(Debug().find("Brand overlay shown\n"), std::string::npos);
  EXPECT_NE(Debug().find("Drawing logo: Path=" + dir_ / "logo.png" +
                         ", ImageSize=400x100, LogoRect=(10,71,240,128), DrawRect=(11,71,239,128)\n"),
            std::string::npos)
      << Debug();
}

TEST_F(OverlayWindowsTest, ATransparentBrandLetsTheDesktopAndItsClicksThrough) {
  StoreBrand(3, true);
  auto window = Make();
  StartRecording(*window, false);
  QTest::qWait(2500);
  const int clicksBefore = backdrop_.clicks;
  Xdotool("mousemove --sync 1030 530 click 1");
  EXPECT_TRUE(QTest::qWaitFor([&] { return backdrop_.clicks == clicksBefore + 1; }, 2000));
  const std::string path = StopRecording(*window);
  const RgbPicture picture = DecodePicture(path, 2.0);
  ASSERT_TRUE(picture.ok());
  EXPECT_TRUE(Colour(picture, 1030, 530, kGreen)) << std::hex << picture.At(1030, 530);
  EXPECT_TRUE(Colour(picture, 1088, 609, kMagenta)) << std::hex << picture.At(1088, 609);
  EXPECT_TRUE(Colour(picture, 1202, 609, kYellow)) << std::hex << picture.At(1202, 609);
}

TEST_F(OverlayWindowsTest, TheBrandTiedToThePreviewWaitsForItAndIsDraggedAndHidden) {
  StoreBrand(3, false);
  Store("BrandShowOnlyWhenPreviewDialog", "TRUE");
  auto window = Make();
  StartRecording(*window, false);
  EXPECT_TRUE(window->brandOverlay() == nullptr || !window->brandOverlay()->isVisible());
  Store("BrandShowOnlyWhenPreviewDialog", "FALSE");
  window->ShowBrandOverlay();
  CBrandOverlayDlg* brand = window->brandOverlay();
  ASSERT_TRUE(brand && brand->isVisible());
  Xdotool("mousemove --sync 1145 610 mousedown 1");
  QTest::qWait(100);
  Xdotool("mousemove --sync 1100 580");
  QTest::qWait(100);
  Xdotool("mousemove --sync 845 410 mouseup 1");
  EXPECT_TRUE(QTest::qWaitFor([&] { return brand->pos() == QPoint(1020 - 300, 510 - 200); }, 2000))
      << brand->pos().x() << "," << brand->pos().y();
  Xdotool("click 3");  // the pointer is on it already: a synced move to where it is would wait
  EXPECT_TRUE(QTest::qWaitFor([&] { return !brand->isVisible(); }, 2000));
  EXPECT_NE(Debug().find("Brand overlay hidden\n"), std::string::npos);
  StopRecording(*window);
  // Brand Settings OK while not recording hides it.
  window->ShowBrandOverlay();
  ASSERT_TRUE(brand->isVisible());
  WhenModalShows([] {
    auto* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    QMetaObject::invokeMethod(dialog, "accept");
  });
  window->OnBrandSettings();
  EXPECT_FALSE(brand->isVisible());
}

TEST_F(OverlayWindowsTest, InFullScreenThePreviewShowsItsBrandAboveThePicture) {
  StoreBrand(0, false);
  Store("IncludeCamera", "TRUE");
  Store("BrandShowOnlyWhenPreviewDialog", "TRUE");
  auto window = Make();
  StartRecording(*window);
  QElapsedTimer recorded;
  recorded.start();
  EXPECT_TRUE(window->brandOverlay() == nullptr || !window->brandOverlay()->isVisible());
  window->OnShowCamera();
  CCameraPreviewDlg* preview = window->cameraPreview();
  ASSERT_NE(preview, nullptr);
  ASSERT_TRUE(window->brandOverlay() && window->brandOverlay()->isVisible());
  ASSERT_TRUE(QTest::qWaitFor([&] { return preview->capturing(); }, 10000));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(preview));
  Xdotool("windowfocus --sync " + std::to_string(preview->winId()));
  Xdotool("key alt+f");
  ASSERT_TRUE(QTest::qWaitFor([&] { return preview->fullScreen(); }, 3000));
  const double fullScreenAt = recorded.elapsed() / 1000.0 + 0.75;
  QTest::qWait(1500);
  EXPECT_NE(Debug().find("Brand overlay brought to top in full screen mode\n"), std::string::npos);
  preview->close();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window->brandOverlay()->isVisible(); }, 3000));
  const std::string path = StopRecording(*window);
  const RgbPicture picture = DecodePicture(path, fullScreenAt);
  ASSERT_TRUE(picture.ok());
  EXPECT_TRUE(Colour(picture, 10 + 68, 10 + 99, kMagenta)) << std::hex << picture.At(78, 109);
  EXPECT_TRUE(Colour(picture, 10 + 182, 10 + 99, kYellow)) << std::hex << picture.At(192, 109);
  EXPECT_TRUE(Colour(picture, 400, 400, kBlue)) << std::hex << picture.At(400, 400);
  EXPECT_TRUE(Colour(picture, 1000, 400, kRed)) << std::hex << picture.At(1000, 400);
}

}  // namespace

int main(int argc, char** argv) { return RunOnVirtualDesktop(argc, argv, kWidth, kHeight, kDebugLog); }
