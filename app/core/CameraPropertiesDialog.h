// A camera's adjustable controls, one row each, applied as they change.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "platform/CameraControls.h"

class CCameraPropertiesDlg : public QDialog {
  Q_OBJECT

 public:
  CCameraPropertiesDlg(const QString& cameraName, orvex::CameraControls& cameras, std::string device,
                       const std::vector<orvex::CameraControl>& controls, QWidget* parent = nullptr);
  Q_DISABLE_COPY_MOVE(CCameraPropertiesDlg)

 private:
  QWidget* MakeEditor(const orvex::CameraControl& control);
  void Apply(uint32_t id, int value);

  orvex::CameraControls& cameras_;
  std::string device_;
};
