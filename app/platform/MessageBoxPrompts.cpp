#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

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

std::optional<std::string> MessageBoxPrompts::PickFolder(const std::string& title, const std::string& startFolder) {
  const QString folder =
      QFileDialog::getExistingDirectory(owner_, QString::fromStdString(title), QString::fromStdString(startFolder));
  if (folder.isEmpty()) return std::nullopt;
  return folder.toStdString();
}

std::optional<std::string> MessageBoxPrompts::PickOpenFile(const std::string& filter, const std::string& defaultSuffix) {
  QFileDialog dialog(owner_);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters(QString::fromStdString(QtFileFilter(filter)).split(";;"));
  dialog.setDefaultSuffix(QString::fromStdString(defaultSuffix));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

std::optional<uint32_t> MessageBoxPrompts::PickColour(uint32_t current) {
  const QColor start(current & 0xff, (current >> 8) & 0xff, (current >> 16) & 0xff);
  const QColor chosen = QColorDialog::getColor(start, owner_);
  if (!chosen.isValid()) return std::nullopt;
  return static_cast<uint32_t>(chosen.red()) | (static_cast<uint32_t>(chosen.green()) << 8) |
         (static_cast<uint32_t>(chosen.blue()) << 16);
}

std::string QtFileFilter(const std::string& pairedFilter) {
  const QStringList parts = QString::fromStdString(pairedFilter).split('|');
  QStringList filters;
  // Parts come in (caption, patterns) pairs; the closing "||" leaves empty ones.
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) break;
    QString caption = parts[i];
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    patterns.replace("*.*", "*");
    const qsizetype open = caption.indexOf(" (");
    if (open >= 0) caption.truncate(open);
    filters << caption + " (" + patterns + ")";
  }
  return filters.join(";;").toStdString();
}

}  // namespace orvex
