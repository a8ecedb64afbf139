// "Brand Settings": what the brand overlay shows and how it looks, written
// to the store on OK.
#pragma once

#include <QDialog>
#include <QPushButton>

#include "features/BrandLayout.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace orvex {
class RegistryStore;
class UserPrompts;
}  // namespace orvex

// A button filled with its colour, a black frame and a caption in black or
// white, whichever reads on it.
class CColourSwatchButton : public QPushButton {
  Q_OBJECT

 public:
  CColourSwatchButton(const QString& caption, QWidget* parent);
  void SetColour(uint32_t colourRef);
  uint32_t colour() const { return colour_; }
  // Black on light colours (average of red, green and blue above 128), else white.
  static QColor CaptionColour(uint32_t colourRef);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  uint32_t colour_ = 0;
};

class CBrandSettingsDlg : public QDialog {
  Q_OBJECT

 public:
  CBrandSettingsDlg(orvex::RegistryStore& store, orvex::UserPrompts& prompts, QWidget* parent = nullptr);
  Q_DISABLE_COPY_MOVE(CBrandSettingsDlg)

  void OnOk();
  void OnBrowse();

  QCheckBox* enableBox() const { return enable_; }
  QCheckBox* transparentBox() const { return transparent_; }
  QLineEdit* widthEdit() const { return width_; }
  QLineEdit* heightEdit() const { return height_; }
  QComboBox* positionList() const { return position_; }
  QLineEdit* logoPathEdit() const { return logoPath_; }
  QLabel* backgroundLabel() const { return backgroundLabel_; }
  CColourSwatchButton* textColourButton() const { return textColour_; }
  CColourSwatchButton* backgroundButton() const { return background_; }

 private:
  void UpdateEnabledState();
  void UpdateTransparency();
  void ChooseColour(CColourSwatchButton* button);

  orvex::RegistryStore& store_;
  orvex::UserPrompts& prompts_;
  QCheckBox* enable_;
  QCheckBox* showLogo_;
  QLineEdit* logoPath_;
  QPushButton* browse_;
  QCheckBox* showName_;
  QLineEdit* name_;
  QCheckBox* showTitle_;
  QLineEdit* title_;
  QComboBox* position_;
  QCheckBox* transparent_;
  QCheckBox* onlyWithPreview_;
  CColourSwatchButton* textColour_;
  QLabel* backgroundLabel_;
  CColourSwatchButton* background_;
  QLineEdit* width_;
  QLineEdit* height_;
  std::vector<QWidget*> brandControls_;
};
