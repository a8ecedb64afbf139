// The webcam on the desktop while a recording runs: a small frameless,
// topmost window, round or square, that the screen capture records. It never
// takes the keyboard focus from the program being recorded.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "features/WindowDrag.h"

class QLabel;

namespace orvex {
class CameraFeed;
}

class CCameraOverlayDlg : public QWidget {
  Q_OBJECT

 public:
  using FeedFactory = std::function<std::unique_ptr<orvex::CameraFeed>()>;
  explicit CCameraOverlayDlg(FeedFactory makeFeed);
  ~CCameraOverlayDlg() override;
  Q_DISABLE_COPY_MOVE(CCameraOverlayDlg)

  void SetCameraProperties(const std::string& cameraName, int size, int shape, int placement);
  void RefreshContent();
  void StartCapture();
  // Stops and releases a running capture.
  void StopCapture();
  void HideOverlay();
  // Shows the window without activating it, above the other windows.
  void ShowOverlay();
  // Back to the placement's rectangle (a drag is forgotten).
  void MoveToPlacement();

  bool shown() const { return shown_; }
  bool capturing() const { return capturing_; }
  bool feedRunning() const;
  const std::string& cameraName() const { return cameraName_; }
  QLabel* card() const { return card_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void ApplyShape();
  void ReleaseCapture();
  int drawnSize() const;
  QSize screenSize() const;

  FeedFactory makeFeed_;
  std::unique_ptr<orvex::CameraFeed> feed_;
  std::string cameraName_;
  int size_ = 200;
  int shape_ = 0;
  int placement_ = 0;
  bool shown_ = false;
  bool capturing_ = false;
  orvex::WindowDrag drag_;
  QImage picture_;
  QLabel* card_;
};
