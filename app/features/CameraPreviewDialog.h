// "Camera Preview": a chosen camera large, in a window or full screen, with
// keys and a menu to pause and resume the running recording.
#pragma once

#include <QDialog>
#include <QImage>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QLabel;

namespace orvex {
class CameraFeed;

// What the preview asks of the main window.
class PreviewHost {
 public:
  virtual ~PreviewHost() = default;
  virtual bool IsRecording() const = 0;
  virtual bool RecordingPaused() const = 0;
  // The tray menu's Pause command, posted: it pauses or resumes.
  virtual void PostPauseCommand() = 0;
  // Raises the brand overlay, when there is one, without activating it.
  virtual void RaiseBrandOverlay(const char* debugLine) = 0;
};
}  // namespace orvex

class CCameraPreviewDlg : public QDialog {
  Q_OBJECT

 public:
  using FeedFactory = std::function<std::unique_ptr<orvex::CameraFeed>()>;
  CCameraPreviewDlg(orvex::PreviewHost& host, std::vector<std::string> cameras, const std::string& selected,
                    FeedFactory makeFeed, QWidget* parent = nullptr);
  ~CCameraPreviewDlg() override;
  Q_DISABLE_COPY_MOVE(CCameraPreviewDlg)

  void EnterFullScreen();
  void LeaveFullScreen();
  void TogglePauseFromPreview(bool pause);
  void LayOut();

  bool fullScreen() const { return fullScreen_; }
  bool capturing() const { return capturing_; }
  const std::string& cameraName() const { return cameraName_; }
  QComboBox* cameraList() const { return list_; }
  QLabel* cameraLabel() const { return label_; }
  QWidget* videoArea() const;
  // The entries the context menu would offer now.
  QStringList MenuEntries() const;

 signals:
  // The window has closed and is about to be freed.
  void closed();

 public:
  void reject() override;  // Escape: leave full screen first

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class VideoArea;
  void StartCamera();
  void StopCamera();
  void OnCameraChosen(int index);

  orvex::PreviewHost& host_;
  FeedFactory makeFeed_;
  std::unique_ptr<orvex::CameraFeed> feed_;
  std::string cameraName_;
  bool capturing_ = false;
  bool fullScreen_ = false;
  int generation_ = 0;
  QRect savedRect_;
  QPoint lastListPosition_{-1, 0};
  QLabel* label_;
  QComboBox* list_;
  VideoArea* video_;
};
