// The brand on the desktop while a recording runs: name, title and logo in a
// small frameless, topmost window that the screen capture records. With
// "Transparent Window" every pixel of exactly the background colour is cut
// out of the window, so the desktop shows through and clicks pass.
#pragma once

#include <QImage>
#include <QWidget>

#include "features/BrandLayout.h"
#include "features/WindowDrag.h"

class CBrandOverlayDlg : public QWidget {
  Q_OBJECT

 public:
  CBrandOverlayDlg();
  Q_DISABLE_COPY_MOVE(CBrandOverlayDlg)

  // Takes the values and re-applies them: position, logo, layout, picture and mask.
  void Apply(const orvex::BrandValues& values);
  // Shows without activating, above every other window.
  void ShowOverlay();
  void HideOverlay();

  const orvex::BrandLayout& layout() const { return layout_; }
  const QImage& logo() const { return logo_; }
  // What the window shows, as painted for the mask.
  QImage Picture() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void LoadLogo();
  void Paint(QPainter& painter, bool report) const;
  void ApplyMask();

  orvex::BrandValues values_;
  orvex::BrandLayout layout_;
  QImage logo_;
  orvex::WindowDrag drag_;
};
