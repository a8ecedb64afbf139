#include "features/BrandSettingsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "core/Settings.h"
#include "platform/UserPrompts.h"

using namespace orvex;

namespace {

constexpr char kImageFilter[] =
    "Image Files (*.jpg;*.jpeg;*.png;*.bmp;*.gif)|*.jpg;*.jpeg;*.png;*.bmp;*.gif|All Files (*.*)|*.*||";
constexpr char kImageSuffix[] = "*.jpg;*.jpeg;*.png;*.bmp;*.gif";
constexpr char kSizeRange[] = "Enter an integer between 100 and 2000.";

}  // namespace

CColourSwatchButton::CColourSwatchButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
  setAutoDefault(false);
}

void CColourSwatchButton::SetColour(uint32_t colourRef) {
  colour_ = colourRef;
  update();
}

QColor CColourSwatchButton::CaptionColour(uint32_t colourRef) {
  return (RedOf(colourRef) + GreenOf(colourRef) + BlueOf(colourRef)) / 3 > 128 ? Qt::black : Qt::white;
}

void CColourSwatchButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect area = rect().adjusted(0, 0, -1, -1);
  painter.fillRect(area, BrandColour(colour_));
  painter.setPen(Qt::black);
  painter.drawRect(area);
  painter.setPen(CaptionColour(colour_));
  painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
}

CBrandSettingsDlg::CBrandSettingsDlg(RegistryStore& store, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), store_(store), prompts_(prompts) {
  setWindowTitle("Brand Settings");
  enable_ = new QCheckBox("Enable Brand Settings", this);

  auto* content = new QGroupBox("Brand Content", this);
  showLogo_ = new QCheckBox("Show Logo | Path:", content);
  logoPath_ = new QLineEdit(content);
  browse_ = new QPushButton("Browse...", content);
  browse_->setAutoDefault(false);
  showName_ = new QCheckBox("Show Name", content);
  name_ = new QLineEdit(content);
  showTitle_ = new QCheckBox("Show Title", content);
  title_ = new QLineEdit(content);
  auto* positionLabel = new QLabel("Position:", content);
  position_ = new QComboBox(content);
  for (const char* name : kBrandPositions) position_->addItem(name);
  auto* contentGrid = new QGridLayout(content);
  contentGrid->addWidget(showLogo_, 0, 0);
  contentGrid->addWidget(logoPath_, 0, 1);
  contentGrid->addWidget(browse_, 0, 2);
  contentGrid->addWidget(showName_, 1, 0);
  contentGrid->addWidget(name_, 1, 1, 1, 2);
  contentGrid->addWidget(showTitle_, 2, 0);
  contentGrid->addWidget(title_, 2, 1, 1, 2);
  contentGrid->addWidget(positionLabel, 3, 0);
  contentGrid->addWidget(position_, 3, 1);

  auto* window = new QGroupBox("Window Settings", this);
  transparent_ = new QCheckBox("Transparent Window", window);
  onlyWithPreview_ = new QCheckBox("Show Brand Overlay Only when Displaying Camera Preview Window", window);
  auto* textLabel = new QLabel("Text Color:", window);
  textColour_ = new CColourSwatchButton("Color", window);
  backgroundLabel_ = new QLabel("Bkg Color:", window);
  background_ = new CColourSwatchButton("Bkg", window);
  auto* widthLabel = new QLabel("Width:", window);
  auto* heightLabel = new QLabel("Height:", window);
  width_ = new QLineEdit(window);
  height_ = new QLineEdit(window);
  for (QLineEdit* edit : {width_, height_}) {
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
    edit->setMaxLength(6);
  }
  auto* windowGrid = new QGridLayout(window);
  windowGrid->addWidget(transparent_, 0, 0, 1, 4);
  windowGrid->addWidget(onlyWithPreview_, 1, 0, 1, 4);
  windowGrid->addWidget(textLabel, 2, 0);
  windowGrid->addWidget(textColour_, 2, 1);
  windowGrid->addWidget(backgroundLabel_, 2, 2);
  windowGrid->addWidget(background_, 2, 3);
  windowGrid->addWidget(widthLabel, 3, 0);
  windowGrid->addWidget(width_, 3, 1);
  windowGrid->addWidget(heightLabel, 3, 2);
  windowGrid->addWidget(height_, 3, 3);

  auto* okCancel = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(enable_);
  layout->addWidget(content);
  layout->addWidget(window);
  layout->addWidget(okCancel);

  brandControls_ = {showLogo_, logoPath_, browse_, showName_,   name_,      showTitle_, title_,      positionLabel,
                    position_, transparent_, onlyWithPreview_, textLabel, textColour_, backgroundLabel_, widthLabel,
                    width_,    heightLabel, height_};

  const BrandValues values = ReadBrandValues(Settings(store_));
  enable_->setChecked(values.enabled);
  showLogo_->setChecked(values.showLogo);
  logoPath_->setText(QString::fromStdString(values.logoPath));
  showName_->setChecked(values.showName);
  name_->setText(QString::fromStdString(values.name));
  showTitle_->setChecked(values.showTitle);
  title_->setText(QString::fromStdString(values.title));
  position_->setCurrentIndex(values.position);
  transparent_->setChecked(values.transparent);
  onlyWithPreview_->setChecked(values.onlyWithPreview);
  textColour_->SetColour(values.textColour);
  background_->SetColour(values.backgroundColour);
  width_->setText(QString::number(values.width));
  height_->setText(QString::number(values.height));
  UpdateEnabledState();
  UpdateTransparency();

  connect(enable_, &QCheckBox::clicked, this, &CBrandSettingsDlg::UpdateEnabledState);
  connect(transparent_, &QCheckBox::clicked, this, &CBrandSettingsDlg::UpdateTransparency);
  connect(browse_, &QPushButton::clicked, this, &CBrandSettingsDlg::OnBrowse);
  connect(textColour_, &QPushButton::clicked, this, [this] { ChooseColour(textColour_); });
  connect(background_, &QPushButton::clicked, this, [this] { ChooseColour(background_); });
  connect(okCancel, &QDialogButtonBox::accepted, this, &CBrandSettingsDlg::OnOk);
  connect(okCancel, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CBrandSettingsDlg::UpdateEnabledState() {
  const bool on = enable_->isChecked();
  for (QWidget* control : brandControls_) control->setEnabled(on);
  background_->setEnabled(on && !transparent_->isChecked());
}

void CBrandSettingsDlg::UpdateTransparency() {
  const bool transparent = transparent_->isChecked();
  backgroundLabel_->setVisible(!transparent);
  background_->setVisible(!transparent);
  backgroundLabel_->setEnabled(!transparent && enable_->isChecked());
  background_->setEnabled(!transparent && enable_->isChecked());
}

void CBrandSettingsDlg::OnBrowse() {
  if (const auto chosen = prompts_.PickOpenFile(kImageFilter, kImageSuffix))
    logoPath_->setText(QString::fromStdString(*chosen));
}

void CBrandSettingsDlg::ChooseColour(CColourSwatchButton* button) {
  if (const auto chosen = prompts_.PickColour(button->colour())) button->SetColour(*chosen);
}

void CBrandSettingsDlg::OnOk() {
  for (QLineEdit* edit : {width_, height_}) {
    const int value = LeadingNumber(edit->text().toStdString());
    if (edit->text().isEmpty() || value < kBrandMinimumSize || value > kBrandMaximumSize) {
      prompts_.Tell("OrvexLite", kSizeRange, UserPrompts::Icon::Warning);
      edit->setFocus();
      edit->selectAll();
      return;
    }
  }
  BrandValues values;
  values.enabled = enable_->isChecked();
  values.showLogo = showLogo_->isChecked();
  values.showName = showName_->isChecked();
  values.showTitle = showTitle_->isChecked();
  values.position = std::max(0, position_->currentIndex());
  values.name = name_->text().toStdString();
  values.title = title_->text().toStdString();
  values.logoPath = logoPath_->text().toStdString();
  values.transparent = transparent_->isChecked();
  values.onlyWithPreview = onlyWithPreview_->isChecked();
  values.width = LeadingNumber(width_->text().toStdString());
  values.height = LeadingNumber(height_->text().toStdString());
  values.textColour = textColour_->colour();
  values.backgroundColour = background_->colour();
  Settings settings(store_);
  WriteBrandValues(settings, values);
  accept();
}
