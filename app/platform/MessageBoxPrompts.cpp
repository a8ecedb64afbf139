#include <QMessageBox>

#include "platform/UserPrompts.h"

namespace orvex {
namespace {

QMessageBox::Icon ToQt(UserPrompts::Icon icon) {
  switch (icon) {
    case UserPrompts::Icon::Information: return QMessageBox::Information;
    case UserPrompts::Icon::Warning: return QMessageBox::Warning;
    case UserPrompts::Icon::Error: return QMessageBox::Critical;
    case UserPrompts::Icon::Question: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void MessageBoxPrompts::Tell(const std::string& title, const std::string& text, Icon icon) {
  QMessageBox box(ToQt(icon), QString::fromStdString(title), QString::fromStdString(text), QMessageBox::Ok, owner_);
  box.exec();
}

bool MessageBoxPrompts::Ask(const std::string& title, const std::string& text, Icon icon, bool noIsDefault) {
  QMessageBox box(ToQt(icon), QString::fromStdString(title), QString::fromStdString(text),
                  QMessageBox::Yes | QMessageBox::No, owner_);
  box.setDefaultButton(noIsDefault ? QMessageBox::No : QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace orvex
