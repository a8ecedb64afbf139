// The floating recording controls: its rules, then the real toolbar of the
// real main window with the real engine on an X display of 1280x720, in front
// of a plain green window, clicked and dragged with xdotool.
#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QToolTip>
#include <QTest>

#include "DisplayTestMain.h"
#include "MediaProbe.h"
#include "RealWindowFixture.h"
#include "features/RecordingControlsToolbarDialog.h"
#include "features/ToolbarRules.h"

using namespace orvex;
using namespace testsupport;

namespace {

constexpr int kWidth = 1280, kHeight = 720;
const std::string kDebugLog = "/tmp/orvex-toolbar-test-" + std::to_string(::getpid()) + ".log";
constexpr uint32_t kGreen = 0x00ff00;

TEST(ToolbarRules, StandsAtTheRightEdgeHalfWayDown) {
  EXPECT_EQ(ToolbarRect(1920, 1080), QRect(1820, 430, 80, 220));
  EXPECT_EQ(ToolbarRect(1280, 720), QRect(1180, 250, 80, 220));
  // Half of an odd remainder is rounded toward zero.
  EXPECT_EQ(ToolbarRect(1024, 601).top(), 190);
  EXPECT_EQ(ToolbarButtonRect(kStartStopButton), QRect(10, 10, 60, 60));
  EXPECT_EQ(ToolbarButtonRect(kPauseResumeButton), QRect(10, 80, 60, 60));
  EXPECT_EQ(ToolbarButtonRect(kSettingsButton), QRect(10, 150, 60, 60));
}

TEST(ToolbarRules, ButtonsFollowTheRecordingState) {
  const ToolbarButtonStates idle = ToolbarStates(false, true);  // "any" pause state when idle
  EXPECT_EQ(idle.startStop, ToolbarPicture::Start);
  EXPECT_STREQ(idle.startStopTip, "Start Recording");
  EXPECT_EQ(idle.pauseResume, ToolbarPicture::Pause);
  EXPECT_FALSE(idle.pauseResumeEnabled);
  const ToolbarButtonStates running = ToolbarStates(true, false);
  EXPECT_EQ(running.startStop, ToolbarPicture::Stop);
  EXPECT_STREQ(running.pauseResumeTip, "Pause Recording");
  EXPECT_TRUE(running.pauseResumeEnabled);
  const ToolbarButtonStates paused = ToolbarStates(true, true);
  EXPECT_EQ(paused.pauseResume, ToolbarPicture::Resume);
  EXPECT_STREQ(paused.pauseResumeTip, "Resume Recording");
  EXPECT_STREQ(paused.startStopTip, "Stop Recording");
  EXPECT_TRUE(ToolbarMayShow(false, false));
  EXPECT_TRUE(ToolbarMayShow(true, true));
  EXPECT_FALSE(ToolbarMayShow(true, false));
  EXPECT_EQ(TipDelayMs(false), 500);
  EXPECT_EQ(TipDelayMs(true), 100);
}

std::string Xdotool(const std::string& arguments) {
  std::string output;
  RunCommand("xdotool " + arguments, &output);
  return output;
}

// The screen's own pixels over a rectangle, as the user sees them.
QImage Grab(const QRect& rect) {
  return QGuiApplication::primaryScreen()->grabWindow(0, rect.x(), rect.y(), rect.width(), rect.height()).toImage();
}

// Mean difference per channel between a grabbed button and its picture.
double Difference(const QImage& grabbed, const QPixmap& picture) {
  const QImage expected = picture.toImage().convertToFormat(QImage::Format_RGB32);
  const QImage got = grabbed.convertToFormat(QImage::Format_RGB32);
  if (expected.size() != got.size()) return 255;
  double sum = 0;
  for (int y = 0; y < got.height(); ++y)
    for (int x = 0; x < got.width(); ++x) {
      const QRgb a = got.pixel(x, y), b = expected.pixel(x, y);
      sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
    }
  return sum / (3.0 * got.width() * got.height());
}

class ToolbarTest : public RealWindowTest {
 protected:
  void SetUp() override {
    RealWindowTest::SetUp();
    if (HasFatalFailure() || IsSkipped()) return;
    Store("ShowRecordingControlsOnDesktop", "TRUE");
    Store("DefaultFPS", "30");
    // A green desktop that the server itself repaints: what an unmapped
    // toolbar uncovers is green at once, as on a desktop with a compositor.
    backdrop_.setStyleSheet("background-color: #00ff00;");
    backdrop_.setGeometry(0, 0, kWidth, kHeight);
    backdrop_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&backdrop_));
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    const uint32_t green = kGreen;
    xcb_change_window_attributes(x11->connection(), backdrop_.winId(), XCB_CW_BACK_PIXEL, &green);
    xcb_clear_area(x11->connection(), 0, backdrop_.winId(), 0, 0, 0, 0);
    xcb_flush(x11->connection());
    debugStart_ = ReadFile(kDebugLog).size();
  }
  std::unique_ptr<CMainDlg> Make() {
    auto window = Show(Services());
    window->move(20, 20);
    return window;
  }
  std::string Debug() const { return ReadFile(kDebugLog).substr(debugStart_); }
  // The user's focus on the green desktop, as in the program being recorded.
  std::string FocusDesktop() {
    Xdotool("windowfocus --sync " + std::to_string(backdrop_.winId()));
    return Xdotool("getwindowfocus");
  }
  static void Click(const CRecordingControlsToolbarDlg& toolbar, ToolbarButton button) {
    const QPoint centre = toolbar.storedRect().topLeft() + ToolbarButtonRect(button).center();
    Xdotool("mousemove " + std::to_string(centre.x()) + " " + std::to_string(centre.y()) + " click 1");
  }
  bool WaitForClock() {
    return QTest::qWaitFor([&] { return engine_.GetGlobalTimer() != nullptr; }, 10000);
  }
  std::string WaitForFile(QSignalSpy& finished) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished.count() >= 1; }, 15000));
    return finished.count() ? finished[0][0].toString().toStdString() : "";
  }

  QWidget backdrop_;
  size_t debugStart_ = 0;
};

TEST_F(ToolbarTest, IdleItShowsItsPicturesAndTips) {
  auto window = Make();
  CRecordingControlsToolbarDlg* toolbar = window->toolbar();
  ASSERT_NE(toolbar, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(toolbar));
  EXPECT_TRUE(toolbar->shown());
  EXPECT_EQ(toolbar->geometry(), QRect(1180, 250, 80, 220));
  EXPECT_EQ(toolbar->button(kStartStopButton)->geometry(), QRect(10, 10, 60, 60));
  EXPECT_EQ(toolbar->button(kPauseResumeButton)->geometry(), QRect(10, 80, 60, 60));
  EXPECT_EQ(toolbar->button(kSettingsButton)->geometry(), QRect(10, 150, 60, 60));
  EXPECT_FALSE(toolbar->button(kPauseResumeButton)->isEnabled());
  EXPECT_NE(Debug().find("Recording controls toolbar shown\nRecording controls toolbar: Shown (not recording or paused)\n"),
            std::string::npos);
  for (ToolbarPicture picture : {ToolbarPicture::Start, ToolbarPicture::Stop, ToolbarPicture::Pause,
                                 ToolbarPicture::Resume})
    ASSERT_EQ(toolbar->picture(picture).size(), QSize(60, 60));
  QTest::qWait(200);
  // On the screen: the start picture on the first button, the background around.
  const QRect start = ToolbarButtonRect(kStartStopButton).translated(toolbar->storedRect().topLeft());
  EXPECT_LT(Difference(Grab(start), toolbar->picture(ToolbarPicture::Start)), 3);
  EXPECT_GT(Difference(Grab(start), toolbar->picture(ToolbarPicture::Stop)), 10);
  EXPECT_EQ(Grab(QRect(1182, 252, 1, 1)).pixel(0, 0), qRgb(240, 240, 240));
  // The settings button holds the 48x48 icon in its middle.
  EXPECT_EQ(toolbar->button(kSettingsButton)->picture().deviceIndependentSize().toSize(), QSize(48, 48));

  // Tips: after half a second, then sooner from one button to the next.
  const QPoint first = toolbar->storedRect().topLeft() + ToolbarButtonRect(kStartStopButton).center();
  Xdotool("mousemove " + std::to_string(first.x()) + " " + std::to_string(first.y()));
  QTest::qWait(250);
  EXPECT_FALSE(QToolTip::isVisible());
  ASSERT_TRUE(QTest::qWaitFor([] { return QToolTip::isVisible(); }, 2000));
  EXPECT_EQ(QToolTip::text(), "Start Recording");
  const QPoint settings = toolbar->storedRect().topLeft() + ToolbarButtonRect(kSettingsButton).center();
  Xdotool("mousemove " + std::to_string(settings.x()) + " " + std::to_string(settings.y()));
  ASSERT_TRUE(QTest::qWaitFor([] { return QToolTip::isVisible() && QToolTip::text() == "Settings"; }, 400));
  Xdotool("mousemove 600 600");
}

TEST_F(ToolbarTest, ItStartsPausesMovesAndStopsWithoutTakingTheFocus) {
  auto window = Make();
  CRecordingControlsToolbarDlg* toolbar = window->toolbar();
  ASSERT_NE(toolbar, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(toolbar));
  QSignalSpy finished(&window->controller(), &RecordingController::RecordingFinished);
  const std::string focus = FocusDesktop();

  Click(*toolbar, kStartStopButton);
  ASSERT_TRUE(WaitForClock()) << Debug();
  EXPECT_TRUE(window->IsRecording());
  EXPECT_FALSE(toolbar->isVisible());
  EXPECT_EQ(Xdotool("getwindowfocus"), focus);
  QTest::qWait(1000);

  window->controller().TogglePause();
  EXPECT_TRUE(toolbar->isVisible());
  EXPECT_EQ(toolbar->tip(kStartStopButton), "Stop Recording");
  EXPECT_EQ(toolbar->tip(kPauseResumeButton), "Resume Recording");
  EXPECT_EQ(toolbar->button(kPauseResumeButton)->picture().toImage(),
            toolbar->picture(ToolbarPicture::Resume).toImage());
  EXPECT_EQ(toolbar->button(kStartStopButton)->picture().toImage(), toolbar->picture(ToolbarPicture::Stop).toImage());
  QTest::qWait(200);
  Click(*toolbar, kPauseResumeButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->controller().paused(); }, 3000));
  EXPECT_FALSE(toolbar->isVisible());
  EXPECT_FALSE(engine_.IsRecordingPaused());
  EXPECT_EQ(Xdotool("getwindowfocus"), focus);
  QTest::qWait(500);

  // Dragged 200 px to the left by its background, it comes back at the next pause.
  window->controller().TogglePause();
  QTest::qWait(200);
  Xdotool("mousemove 1185 300 mousedown 1");
  Xdotool("mousemove 1085 300");
  Xdotool("mousemove 985 300 mouseup 1");
  ASSERT_TRUE(QTest::qWaitFor([&] { return toolbar->pos() == QPoint(980, 250); }, 2000)) << toolbar->pos().x();
  window->controller().TogglePause();
  window->controller().TogglePause();
  EXPECT_EQ(toolbar->pos(), QPoint(1180, 250));

  // Stop from the toolbar while paused: idle buttons, shown again.
  QTest::qWait(200);
  Click(*toolbar, kStartStopButton);
  const std::string path = WaitForFile(finished);
  EXPECT_FALSE(window->IsRecording());
  EXPECT_TRUE(toolbar->isVisible());
  EXPECT_EQ(toolbar->tip(kStartStopButton), "Start Recording");
  EXPECT_FALSE(toolbar->button(kPauseResumeButton)->isEnabled());
  EXPECT_EQ(DecodeErrors(path), "");
  EXPECT_EQ(Xdotool("getwindowfocus"), focus);
}

// Twenty pauses of 300 ms, resumed half by the toolbar's button and half by
// the Pause/Resume command: no recorded frame shows the toolbar.
TEST_F(ToolbarTest, NoFrameOfTheRecordingShowsTheToolbar) {
  auto window = Make();
  CRecordingControlsToolbarDlg* toolbar = window->toolbar();
  ASSERT_NE(toolbar, nullptr);
  QSignalSpy finished(&window->controller(), &RecordingController::RecordingFinished);
  FocusDesktop();
  Click(*toolbar, kStartStopButton);
  ASSERT_TRUE(WaitForClock()) << Debug();
  QTest::qWait(500);
  for (int cycle = 0; cycle < 20; ++cycle) {
    window->controller().TogglePause();
    QTest::qWait(300);
    if (cycle % 2 == 0) {
      Click(*toolbar, kPauseResumeButton);
      ASSERT_TRUE(QTest::qWaitFor([&] { return !window->controller().paused(); }, 3000)) << "cycle " << cycle;
    } else {
      window->controller().TogglePause();
    }
    QTest::qWait(300);
  }
  window->controller().StopRecording();
  const std::string path = WaitForFile(finished);
  EXPECT_EQ(DecodeErrors(path), "");
  const std::vector<uint32_t> pixels = PixelInEveryFrame(path, 1185, 255);
  ASSERT_GT(pixels.size(), 150u);  // about 6 s of recording at 30 fps
  int shown = 0;
  std::string where;
  for (size_t i = 0; i + 1 < pixels.size(); ++i)
    if (!CloseColour(pixels[i], kGreen, 40)) {
      ++shown;
      where += std::to_string(i) + " ";
    }
  EXPECT_EQ(shown, 0) << "frames showing the toolbar: " << where << "; first colour " << std::hex << pixels[0];
}

TEST_F(ToolbarTest, TheOptionDecidesWhetherAStopOrTheSettingsShowIt) {
  Store("ShowRecordingControlsOnDesktop", "FALSE");
  auto window = Make();
  EXPECT_EQ(window->toolbar(), nullptr);
  QSignalSpy finished(&window->controller(), &RecordingController::RecordingFinished);
  window->OnStartStop();
  ASSERT_TRUE(WaitForClock());
  // The option turned on while a recording runs: made, but kept off the screen.
  Store("ShowRecordingControlsOnDesktop", "TRUE");
  window->UpdateToolbarAfterSettings();
  ASSERT_NE(window->toolbar(), nullptr);
  EXPECT_FALSE(window->toolbar()->isVisible());
  EXPECT_NE(Debug().find("Recording controls toolbar: Hidden because recording is active\n"), std::string::npos);
  // Off again: a stop does not show it.
  Store("ShowRecordingControlsOnDesktop", "FALSE");
  window->UpdateToolbarAfterSettings();
  window->OnStartStop();
  WaitForFile(finished);
  EXPECT_FALSE(window->toolbar()->isVisible());
  // On while idle: shown.
  Store("ShowRecordingControlsOnDesktop", "TRUE");
  window->UpdateToolbarAfterSettings();
  EXPECT_TRUE(window->toolbar()->isVisible());
  EXPECT_EQ(window->toolbar()->pos(), QPoint(1180, 250));
  // Its settings button brings the hidden main window back.
  window->hide();
  Click(*window->toolbar(), kSettingsButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, 2000));
}

}  // namespace

int main(int argc, char** argv) { return RunOnVirtualDesktop(argc, argv, kWidth, kHeight, kDebugLog); }
