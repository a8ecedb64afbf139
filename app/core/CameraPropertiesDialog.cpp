#include "core/CameraPropertiesDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include "platform/DebugChannel.h"

using orvex::CameraControl;

CCameraPropertiesDlg::CCameraPropertiesDlg(const QString& cameraName, orvex::CameraControls& cameras,
                                           std::string device, const std::vector<CameraControl>& controls,
                                           QWidget* parent)
    : QDialog(parent), cameras_(cameras), device_(std::move(device)) {
  setWindowTitle(cameraName);
  auto* form = new QFormLayout;
  for (const CameraControl& control : controls) form->addRow(QString::fromStdString(control.name) + ":", MakeEditor(control));
  auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(close);
  setMinimumWidth(420);
}

QWidget* CCameraPropertiesDlg::MakeEditor(const CameraControl& control) {
  const uint32_t id = control.id;
  switch (control.kind) {
    case CameraControl::Kind::Boolean: {
      auto* box = new QCheckBox(this);
      box->setChecked(control.value != 0);
      connect(box, &QCheckBox::toggled, this, [this, id](bool on) { Apply(id, on ? 1 : 0); });
      return box;
    }
    case CameraControl::Kind::Menu: {
      auto* list = new QComboBox(this);
      for (const auto& [value, caption] : control.items) {
        list->addItem(QString::fromStdString(caption), value);
        if (value == control.value) list->setCurrentIndex(list->count() - 1);
      }
      connect(list, &QComboBox::activated, this, [this, id, list](int index) { Apply(id, list->itemData(index).toInt()); });
      return list;
    }
    case CameraControl::Kind::Integer:
      break;
  }
  auto* row = new QWidget(this);
  auto* slider = new QSlider(Qt::Horizontal, row);
  slider->setRange(control.minimum, control.maximum);
  slider->setSingleStep(control.step);
  slider->setValue(control.value);
  auto* value = new QLabel(QString::number(control.value), row);
  value->setMinimumWidth(40);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(slider, 1);
  layout->addWidget(value);
  connect(slider, &QSlider::valueChanged, this, [this, id, value](int position) {
    value->setText(QString::number(position));
    Apply(id, position);
  });
  return row;
}

void CCameraPropertiesDlg::Apply(uint32_t id, int value) {
  if (!cameras_.SetControl(device_, id, value))
    orvex::DebugOutput(orvex::Printf("Camera control 0x%08X refused value %d\n", id, value));
}
