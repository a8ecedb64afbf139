#include "core/AboutDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Product.h"

CAboutDlg::CAboutDlg(const QString& versionLine, std::function<void()> openWebSite, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QString("About %1 ").arg(orvex::kProductName));
  auto* icon = new QLabel(this);
  icon->setPixmap(QPixmap(":/orvex/orvex.png").scaled(48, 48, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  auto* name = new QLabel(orvex::kProductName, this);
  QFont bold = name->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.4);
  name->setFont(bold);
  auto* version = new QLabel(versionLine, this);
  version->setObjectName("label1135");
  auto* web = new QPushButton("Web", this);
  web->setObjectName("webButton");
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("okButton");
  ok->setDefault(true);

  auto* text = new QVBoxLayout;
  text->addWidget(name);
  text->addWidget(version);
  auto* top = new QHBoxLayout;
  top->addWidget(icon);
  top->addLayout(text, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(web);
  buttons->addStretch();
  buttons->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(buttons);

  connect(web, &QPushButton::clicked, this, [openWebSite] { openWebSite(); });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
