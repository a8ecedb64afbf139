// A push button that paints itself in five colours: normal, mouse over,
// pressed, text and border, with an optional font.
#pragma once

#include <QColor>
#include <QFont>
#include <QPushButton>
#include <optional>

class CCustomColorButton : public QPushButton {
  Q_OBJECT

 public:
  explicit CCustomColorButton(const QString& caption = QString(), QWidget* parent = nullptr);
  Q_DISABLE_COPY_MOVE(CCustomColorButton)

  void SetColors(const QColor& normal, const QColor& hover, const QColor& pressed, const QColor& text,
                 const QColor& border);
  void SetButtonFont(const QFont& font);

  QColor normalColor() const { return normal_; }
  QColor hoverColor() const { return hover_; }
  QColor pressedColor() const { return pressed_; }
  QColor textColor() const { return text_; }
  QColor borderColor() const { return border_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QColor normal_{25, 25, 112};
  QColor hover_{35, 35, 130};
  QColor pressed_{10, 10, 60};
  QColor text_{255, 255, 255};
  QColor border_{60, 60, 140};
  std::optional<QFont> font_;
  bool hovering_ = false;
  bool pressing_ = false;
};
