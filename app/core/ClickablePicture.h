// A picture that reacts to a click like a link (hand cursor).
#pragma once

#include <QLabel>
#include <QMouseEvent>

class CClickablePicture : public QLabel {
  Q_OBJECT

 public:
  explicit CClickablePicture(const QPixmap& picture, QWidget* parent = nullptr) : QLabel(parent) {
    setPixmap(picture);
    setCursor(Qt::PointingHandCursor);
  }

 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
  }
};
