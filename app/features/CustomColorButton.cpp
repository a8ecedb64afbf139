#include "features/CustomColorButton.h"

#include <QMouseEvent>
#include <QPainter>

CCustomColorButton::CCustomColorButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
  setAttribute(Qt::WA_Hover);
}

void CCustomColorButton::SetColors(const QColor& normal, const QColor& hover, const QColor& pressed,
                                   const QColor& text, const QColor& border) {
  normal_ = normal;
  hover_ = hover;
  pressed_ = pressed;
  text_ = text;
  border_ = border;
  update();
}

void CCustomColorButton::SetButtonFont(const QFont& font) {
  font_ = font;
  update();
}

void CCustomColorButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QColor fill = pressing_ ? pressed_ : hovering_ ? hover_ : normal_;
  painter.fillRect(rect(), fill);
  painter.setPen(border_);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  if (font_) painter.setFont(*font_);
  painter.setPen(text_);
  painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
}

void CCustomColorButton::enterEvent(QEnterEvent* event) {
  hovering_ = true;
  update();
  QPushButton::enterEvent(event);
}

void CCustomColorButton::leaveEvent(QEvent* event) {
  hovering_ = false;
  update();
  QPushButton::leaveEvent(event);
}

void CCustomColorButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    pressing_ = true;
    update();
  }
  QPushButton::mousePressEvent(event);
}

void CCustomColorButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    pressing_ = false;
    update();
  }
  QPushButton::mouseReleaseEvent(event);
}
