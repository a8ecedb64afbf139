// The notification-area icon: its menu of recording commands, the
// double-click that shows the main window, and balloons.
#pragma once

#include <QObject>
#include <map>
#include <memory>
#include <string>

#include "platform/Notifier.h"

class QAction;
class QMenu;
class QSystemTrayIcon;

// Tray menu command ids.
enum TrayCommandId : int {
  ID_TRAY_STOP = 32775, ID_TRAY_START = 32776, ID_TRAY_SETTINGS = 32777, ID_TRAY_EXIT = 32778,
  ID_TRAY_PAUSE = 32779, ID_TRAY_SHOW_CAMERA = 32782,
};

namespace orvex {

// The menu's item states at the moment it opens.
struct TrayMenuState {
  bool startEnabled = false;
  bool stopEnabled = false;
  bool pausePresent = true;
  bool pauseEnabled = false;
  std::string startText = "Start\tCtrl+Alt+S";
  std::string stopText = "Stop\tCtrl+Alt+S";
  std::string pauseText = "Pause\tCtrl+Alt+P";
};
// From the idle flag, the streaming flag and the engine's own pause state.
TrayMenuState TrayMenuItems(bool trayIdle, bool streamingActive, bool enginePaused);

}  // namespace orvex

class CSystemTray : public QObject, public orvex::Notifier {
  Q_OBJECT

 public:
  // state is asked each time the menu opens.
  CSystemTray(std::function<orvex::TrayMenuState()> state, QObject* parent = nullptr);
  ~CSystemTray() override;
  Q_DISABLE_COPY_MOVE(CSystemTray)

  // Does nothing while no tray host is there.
  void ShowBalloon(const std::string& title, const std::string& text, Icon icon, int timeoutMs) override;
  // Takes the icon out of the tray, as before a restart.
  void Remove();
  QMenu* menu() const { return menu_.get(); }
  QAction* Command(int id) const;
  QSystemTrayIcon* icon() const { return icon_.get(); }
  void RefreshMenu();

 signals:
  void commandChosen(int id);
  void doubleClicked();

 private:
  std::function<orvex::TrayMenuState()> state_;
  std::unique_ptr<QMenu> menu_;
  std::unique_ptr<QSystemTrayIcon> icon_;
  std::map<int, QAction*> commands_;
};
