// The floating recording controls: start/stop, pause/resume and settings at
// the right edge of the screen, for when the main window is hidden. It never
// takes the keyboard focus, so its buttons leave the focus with the program
// being recorded.
#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include "features/ToolbarRules.h"
#include "features/WindowDrag.h"

namespace orvex {

// What the toolbar's buttons ask of the main window.
class ToolbarHost {
 public:
  virtual ~ToolbarHost() = default;
  virtual void OnToolbarStartStop() = 0;
  virtual void OnToolbarPauseResume() = 0;
  virtual void OnToolbarSettings() = 0;
};

// A picture filling the button; a disabled button shows it faded.
class ToolbarPictureButton : public QAbstractButton {
 public:
  explicit ToolbarPictureButton(QWidget* parent) : QAbstractButton(parent) { setFocusPolicy(Qt::NoFocus); }
  void SetPicture(const QPixmap& picture);
  const QPixmap& picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QPixmap picture_;
};

// The tips' timing: shown after 500 ms, after 100 ms when the pointer comes
// from a button whose tip was showing, and removed after 5 s.
constexpr int kTipDelayMs = 500, kTipReshowDelayMs = 100, kTipDurationMs = 5000;
inline int TipDelayMs(bool comingFromShownTip) { return comingFromShownTip ? kTipReshowDelayMs : kTipDelayMs; }

}  // namespace orvex

class CRecordingControlsToolbarDlg : public QWidget {
  Q_OBJECT

 public:
  // recording/paused: the main window's state when it is made.
  CRecordingControlsToolbarDlg(orvex::ToolbarHost& host, bool recording, bool paused);

  void UpdateButtons(bool recording, bool paused);
  void ShowToolbar();
  // Hides it, and returns once the display has taken it off the screen.
  void HideToolbar();
  bool shown() const { return shown_; }
  QRect storedRect() const { return storedRect_; }
  orvex::ToolbarPictureButton* button(orvex::ToolbarButton which) const { return buttons_[which]; }
  QString tip(orvex::ToolbarButton which) const { return tips_[which]; }
  // The four pictures as loaded and scaled; a null one was not found.
  const QPixmap& picture(orvex::ToolbarPicture which) const { return pictures_[static_cast<int>(which)]; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void LoadPictures();
  void ShowPendingTip();

  orvex::ToolbarHost& host_;
  bool shown_ = false;
  QRect storedRect_;
  QPixmap pictures_[4];
  orvex::ToolbarPictureButton* buttons_[3] = {};
  QString tips_[3];
  QTimer tipTimer_;
  int pendingTip_ = -1;
  bool tipShowing_ = false;
  orvex::WindowDrag drag_;
};
