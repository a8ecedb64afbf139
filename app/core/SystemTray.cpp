#include "core/SystemTray.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>

using orvex::TrayMenuState;

namespace orvex {

TrayMenuState TrayMenuItems(bool trayIdle, bool streamingActive, bool enginePaused) {
  TrayMenuState state;
  if (trayIdle) {
    state.startEnabled = true;
    return state;
  }
  state.stopEnabled = true;
  // A stream has no pause: the menu shows none.
  state.pausePresent = !streamingActive;
  state.pauseEnabled = !streamingActive;
  if (enginePaused) state.pauseText = "Resume\tCtrl+Alt+R";
  return state;
}

}  // namespace orvex

namespace {

constexpr char kTooltip[] = "Double click to Launch OrvexLite Main Window";

QSystemTrayIcon::MessageIcon ToQt(orvex::Notifier::Icon icon) {
  switch (icon) {
    case orvex::Notifier::Icon::Information: return QSystemTrayIcon::Information;
    case orvex::Notifier::Icon::Warning: return QSystemTrayIcon::Warning;
    case orvex::Notifier::Icon::Error: return QSystemTrayIcon::Critical;
    case orvex::Notifier::Icon::None: break;
  }
  return QSystemTrayIcon::NoIcon;
}

}  // namespace

CSystemTray::CSystemTray(std::function<TrayMenuState()> state, QObject* parent)
    : QObject(parent), state_(std::move(state)), menu_(std::make_unique<QMenu>()) {
  auto item = [this](int id, const QString& text) {
    QAction* action = menu_->addAction(text);
    action->setData(id);
    commands_[id] = action;
    connect(action, &QAction::triggered, this, [this, id] { emit commandChosen(id); });
    return action;
  };
  QAction* camera = item(ID_TRAY_SHOW_CAMERA, "Show Camera\tCtrl+Alt+C");
  QFont bold = camera->font();
  bold.setBold(true);  // the default item
  camera->setFont(bold);
  camera->setEnabled(false);  // the camera preview window is not built yet
  menu_->addSeparator();
  item(ID_TRAY_STOP, "Stop\tCtrl+Alt+S");
  item(ID_TRAY_PAUSE, "Pause\tCtrl+Alt+P");
  item(ID_TRAY_START, "Start\tCtrl+Alt+S");
  menu_->addSeparator();
  item(ID_TRAY_SETTINGS, "Settings");
  menu_->addSeparator();
  item(ID_TRAY_EXIT, "Exit");
  connect(menu_.get(), &QMenu::aboutToShow, this, &CSystemTray::RefreshMenu);

  icon_ = std::make_unique<QSystemTrayIcon>(QIcon(":/orvex/orvex.png"));
  icon_->setToolTip(kTooltip);
  icon_->setContextMenu(menu_.get());
  connect(icon_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) emit doubleClicked();
  });
  // Qt docks the icon whenever a tray host appears, also one started later.
  icon_->show();
}

CSystemTray::~CSystemTray() = default;

QAction* CSystemTray::Command(int id) const {
  const auto found = commands_.find(id);
  return found == commands_.end() ? nullptr : found->second;
}

void CSystemTray::RefreshMenu() {
  const TrayMenuState state = state_();
  QAction* start = Command(ID_TRAY_START);
  QAction* stop = Command(ID_TRAY_STOP);
  QAction* pause = Command(ID_TRAY_PAUSE);
  start->setEnabled(state.startEnabled);
  start->setText(QString::fromStdString(state.startText));
  stop->setEnabled(state.stopEnabled);
  stop->setText(QString::fromStdString(state.stopText));
  pause->setVisible(state.pausePresent);
  pause->setEnabled(state.pauseEnabled);
  pause->setText(QString::fromStdString(state.pauseText));
}

void CSystemTray::ShowBalloon(const std::string& title, const std::string& text, Icon icon, int timeoutMs) {
  if (!icon_ || !QSystemTrayIcon::isSystemTrayAvailable() || !QSystemTrayIcon::supportsMessages()) return;
  icon_->showMessage(QString::fromStdString(title), QString::fromStdString(text), ToQt(icon), timeoutMs);
}

void CSystemTray::Remove() { icon_.reset(); }
