// The main window as a user meets it, without a display: what its controls
// show, what it stores, what it logs and what it opens.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "MainWindowFixture.h"
#include "core/MainDialog.h"
#include "core/StreamingSettingsDialog.h"
#include "core/Settings.h"
#include "platform/RegistryStore.h"

using namespace orvex;
using testsupport::FakePrompts;
using testsupport::TempDir;

namespace {

using namespace testsupport;

TEST_F(MainWindowTest, PreparedStoreShowsEachValueAndStartUpWritesItBack) {
  const std::vector<std::pair<std::string, std::string>> values = {
      {"FolderPath", "/data/Recordings"},   {"DefaultOutfilename", "Lecture"},
      {"RecordAudio", "FALSE"},             {"CreateNewFileForEachRecord", "TRUE"},
      {"MinimizeToTray", "TRUE"},           {"RecordInDateFolders", "TRUE"},
      {"DateFormat", "dd-MMM-yyyy"},        {"SelectedMicrophone", "headset"},
      {"IncludeCamera", "TRUE"},            {"CameraAreaShape", "1"},
      {"CameraSize", "320"},                {"SelectedCamera", "USB Camera"},
      {"CameraPlacement", "Bottom Center"}, {"ShowAdvancedOptions", "TRUE"},
      {"EnableVideoStreaming", "TRUE"},     {"EnableBkgMusic", "TRUE"},
      {"PlayBkgMusicToDefaultDevice", "TRUE"}, {"MusicVolume", "65"},
      {"MusicFilePath", "/music/theme.mp3"},   {"UseSeparateAudioVideoRecording", "FALSE"},
  };
  for (const auto& [name, value] : values) Store(name, value);
  auto window = Make();
  CMainDlg& w = *window;

  EXPECT_EQ(w.windowTitle(), "Orvex");
  EXPECT_EQ(Get<QLineEdit>(w, IDC_FOLDER_EDIT)->text(), "/data/Recordings");
  EXPECT_EQ(Get<QLineEdit>(w, IDC_FILE_NAME)->text(), "Lecture");
  EXPECT_FALSE(Get<QCheckBox>(w, IDC_RECORD_AUDIO)->isChecked());
  EXPECT_TRUE(Get<QCheckBox>(w, IDC_NEW_FILE)->isChecked());
  EXPECT_TRUE(Get<QCheckBox>(w, IDC_DATE_FOLDERS)->isChecked());
  EXPECT_EQ(Get<QComboBox>(w, IDC_DATE_FORMAT)->currentText(), "dd-MMM-yyyy");
  EXPECT_EQ(Get<QLabel>(w, IDC_DATE_EXAMPLE)->text(), "Example: 12-May-2025");
  EXPECT_EQ(Get<QComboBox>(w, IDC_MICROPHONE)->currentText(), "Headset");  // other letter case
  EXPECT_EQ(Get<QComboBox>(w, IDC_CAMERA)->currentText(), "USB Camera");   // equal beats the prefix
  EXPECT_TRUE(Get<QCheckBox>(w, IDC_INCLUDE_CAMERA)->isChecked());
  EXPECT_TRUE(Get<QRadioButton>(w, IDC_SQUARE)->isChecked());
  EXPECT_EQ(Get<QLineEdit>(w, IDC_CAMERA_SIZE)->text(), "320");
  EXPECT_EQ(Get<QComboBox>(w, IDC_PLACEMENT)->currentText(), "Bottom Center");
  EXPECT_TRUE(Get<QCheckBox>(w, IDC_ADVANCED)->isChecked());
  EXPECT_TRUE(Get<QCheckBox>(w, IDC_STREAMING)->isChecked());
  EXPECT_TRUE(Get<QCheckBox>(w, IDC_MUSIC)->isChecked());
  EXPECT_TRUE(Get<QCheckBox>(w, IDC_PLAYBACK)->isChecked());
  EXPECT_EQ(Get<QSlider>(w, IDC_VOLUME)->value(), 65);
  EXPECT_EQ(Get<QLineEdit>(w, IDC_VOLUME_TEXT)->text(), "65%");
  EXPECT_EQ(Get<QLineEdit>(w, IDC_MUSIC_FILE)->text(), "/music/theme.mp3");
  // Hide rules: no audio hides the microphone, the date controls and advanced group show.
  for (int id : {IDC_MIC_LABEL, IDC_MICROPHONE, IDC_MIC_PROPERTIES}) EXPECT_FALSE(Shown(w, id)) << id;
  for (int id : {IDC_DATE_LABEL, IDC_DATE_FORMAT, IDC_DATE_EXAMPLE, IDC_ADVANCED_GROUP, IDC_MUSIC, IDC_SERVERS})
    EXPECT_TRUE(Shown(w, id)) << id;
  EXPECT_FALSE(Shown(w, IDC_BANNER));
  // Status bar at start.
  EXPECT_EQ(w.PaneText(0), "Ready");
  EXPECT_EQ(w.PaneText(1), "");
  EXPECT_EQ(w.PaneText(2), "CPU: App --% | Total --% | RAM: --%");
  EXPECT_EQ(w.PaneText(3), "Streaming: Disabled");

  // The start-up save wrote back what was loaded; the device names are the list's spelling.
  for (const auto& [name, value] : values) {
    if (name == "SelectedMicrophone") EXPECT_EQ(Stored(name), "Headset");
    else EXPECT_EQ(Stored(name), value) << name;
  }
}

TEST_F(MainWindowTest, StartUpEmptiesTheMusicFileWhileAdvancedOptionsAreHidden) {
  Store("FolderPath", "/data");
  Store("EnableBkgMusic", "TRUE");
  Store("MusicFilePath", "/music/theme.mp3");
  Store("ShowAdvancedOptions", "FALSE");
  Store("RecordAudio", "TRUE");
  Store("RecordInDateFolders", "FALSE");
  auto window = Make();
  EXPECT_EQ(Stored("MusicFilePath"), "");
  EXPECT_EQ(Stored("EnableBkgMusic"), "TRUE");
  EXPECT_TRUE(Shown(*window, IDC_BANNER));
  EXPECT_FALSE(Shown(*window, IDC_ADVANCED_GROUP));
  EXPECT_FALSE(Shown(*window, IDC_MUSIC));
  EXPECT_TRUE(Shown(*window, IDC_MICROPHONE));
  EXPECT_FALSE(Shown(*window, IDC_DATE_FORMAT));
}

TEST_F(MainWindowTest, EmptyStoreStartsWithTheDocumentsFolderAndWritesBothGroups) {
  auto window = Make();
  const std::string folder = dir_ / "Documents/OrvexLite";
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(window->ControlAs<QLineEdit>(IDC_FOLDER_EDIT)->text().toStdString(), folder);
  EXPECT_EQ(window->ControlAs<QLineEdit>(IDC_FILE_NAME)->text(), "UntitledRec");
  EXPECT_EQ(window->ControlAs<QComboBox>(IDC_MICROPHONE)->currentText(), "Studio Microphone");
  EXPECT_EQ(Stored("FolderPath"), folder);
  EXPECT_EQ(Stored("DefaultOutfilename"), "UntitledRec");
  EXPECT_EQ(Stored("SelectedMicrophone"), "Studio Microphone");
  EXPECT_EQ(Stored("SelectedCamera"), "USB Camera HD");
  EXPECT_EQ(Stored("CameraPlacement"), "Top Left");
  EXPECT_EQ(Stored("CameraSize"), "200");
  EXPECT_EQ(Stored("DateFormat"), "MM-dd-yyyy");
  EXPECT_EQ(Stored("ShowAdvancedOptions"), "FALSE");
  EXPECT_EQ(Stored("MusicVolume"), "30");
  EXPECT_EQ(Stored("EnableBkgMusic"), "FALSE");
  EXPECT_EQ(Stored("MusicFilePath"), "");
  // No ApplicationStarted: not even an attempt to log one.
  EXPECT_EQ(Debug().find("EventLog: Logging is disabled"), std::string::npos);
  EXPECT_NE(Debug().find("Found 2 microphones\nMicrophone: Studio Microphone\nMicrophone: Headset\n"),
            std::string::npos);
  EXPECT_NE(Debug().find("Found 2 cameras\nCamera: USB Camera HD\nCamera: USB Camera\n"), std::string::npos);
  EXPECT_EQ(engine_.freed(), 4);
}

TEST_F(MainWindowTest, ApplicationStartedIsLoggedWhenSettingsExist) {
  Store("FolderPath", "/data");
  Store("LoggingEnabled", "1");
  auto window = Make();
  const auto events = window->eventLog().ReadAllEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].type, ApplicationStarted);
  EXPECT_EQ(events[0].description, "Application started");
  EXPECT_EQ(Stored("LoggingEnabled"), "TRUE");  // the switch is written back
}

TEST_F(MainWindowTest, MusicCheckBoxClearsPlaybackAndPlaybackStoresOnlyTheMusicGroup) {
  Store("FolderPath", "/data");
  Store("ShowAdvancedOptions", "TRUE");
  Store("EnableBkgMusic", "TRUE");
  Store("MusicFilePath", "/music/a.mp3");
  auto window = Make();
  CMainDlg& w = *window;
  auto* playback = Get<QCheckBox>(w, IDC_PLAYBACK);
  Click(playback);
  EXPECT_EQ(Stored("PlayBkgMusicToDefaultDevice"), "TRUE");

  // The playback box stores the music group alone: a changed file name stays unsaved.
  Get<QLineEdit>(w, IDC_FILE_NAME)->setText("Unsaved");
  Click(playback);
  EXPECT_EQ(Stored("PlayBkgMusicToDefaultDevice"), "FALSE");
  EXPECT_EQ(Stored("DefaultOutfilename"), "");
  Click(playback);

  Click(Get<QCheckBox>(w, IDC_MUSIC));
  EXPECT_FALSE(playback->isChecked());
  EXPECT_FALSE(playback->isEnabled());
  EXPECT_FALSE(w.Control(IDC_SOUND_PANEL)->isEnabled());
  EXPECT_FALSE(w.Control(IDC_VOLUME)->isEnabled());
  EXPECT_EQ(Get<QLineEdit>(w, IDC_MUSIC_FILE)->text(), "");
  EXPECT_EQ(Stored("EnableBkgMusic"), "FALSE");
  EXPECT_EQ(Stored("PlayBkgMusicToDefaultDevice"), "FALSE");
  EXPECT_EQ(Stored("MusicFilePath"), "");

  // Ticking it again enables the music controls, and a picked file is stored.
  Click(Get<QCheckBox>(w, IDC_MUSIC));
  EXPECT_TRUE(playback->isEnabled());
  EXPECT_TRUE(w.Control(IDC_MUSIC_BUTTON)->isEnabled());
  prompts_.pickAnswers.push_back("/music/b.mp3");
  Click(Get<QPushButton>(w, IDC_MUSIC_BUTTON));
  ASSERT_EQ(prompts_.picks.size(), 1u);
  EXPECT_NE(prompts_.picks[0].find("Audio Files (*.mp3;*.wav;*.wma;*.m4a;*.aac)|"), std::string::npos);
  EXPECT_NE(prompts_.picks[0].find("|All Files (*.*)|*.*|||mp3"), std::string::npos);
  EXPECT_EQ(Get<QLineEdit>(w, IDC_MUSIC_FILE)->text(), "/music/b.mp3");
  EXPECT_EQ(Stored("MusicFilePath"), "/music/b.mp3");

  // The slider stores its position.
  Get<QSlider>(w, IDC_VOLUME)->setValue(70);
  EXPECT_EQ(Get<QLineEdit>(w, IDC_VOLUME_TEXT)->text(), "70%");
  EXPECT_EQ(Stored("MusicVolume"), "70");
}

TEST_F(MainWindowTest, AdvancedOptionsHideButKeepTheirValues) {
  Store("FolderPath", "/data");
  Store("ShowAdvancedOptions", "TRUE");
  Store("EnableVideoStreaming", "TRUE");
  auto window = Make();
  CMainDlg& w = *window;
  Click(Get<QCheckBox>(w, IDC_ADVANCED));
  EXPECT_FALSE(Shown(w, IDC_STREAMING));
  EXPECT_TRUE(Shown(w, IDC_BANNER));
  EXPECT_EQ(Stored("ShowAdvancedOptions"), "FALSE");
  EXPECT_EQ(Stored("EnableVideoStreaming"), "TRUE");
  prompts_.pickAnswers.push_back("/new/folder");
  Click(Get<QPushButton>(w, IDC_FOLDER_BUTTON));
  EXPECT_EQ(Get<QLineEdit>(w, IDC_FOLDER_EDIT)->text(), "/new/folder");
  EXPECT_EQ(Stored("FolderPath"), "/data");  // stored at the next save
  Click(Get<QCheckBox>(w, IDC_ADVANCED));
  EXPECT_TRUE(Shown(w, IDC_STREAMING));
  EXPECT_TRUE(Get<QCheckBox>(w, IDC_STREAMING)->isChecked());
  EXPECT_EQ(Stored("FolderPath"), "/new/folder");
}

TEST_F(MainWindowTest, DateFormatChangesTheExample) {
  Store("FolderPath", "/data");
  Store("RecordInDateFolders", "TRUE");
  Store("DateFormat", "nonsense");
  auto window = Make();
  auto* formats = window->ControlAs<QComboBox>(IDC_DATE_FORMAT);
  EXPECT_EQ(formats->currentText(), "MM-dd-yyyy");
  formats->setCurrentIndex(1);
  EXPECT_EQ(window->ControlAs<QLabel>(IDC_DATE_EXAMPLE)->text(), "Example: May-12-2025");
  Click(window->ControlAs<QCheckBox>(IDC_DATE_FOLDERS));
  EXPECT_FALSE(Shown(*window, IDC_DATE_EXAMPLE));
}

TEST_F(MainWindowTest, SoundToolFromPath) {
  Store("FolderPath", "/data");
  Store("RecordAudio", "TRUE");
  TempDir bin;
  const std::string savedPath = std::getenv("PATH");
  ::setenv("PATH", bin.path().c_str(), 1);
  orvex::QtDesktopLauncher real;
  auto window = Make(&real);
  Click(window->ControlAs<QPushButton>(IDC_MIC_PROPERTIES));
  ASSERT_EQ(prompts_.shown.size(), 1u);
  EXPECT_EQ(prompts_.shown[0].text,
            "Unable to open microphone properties. Please open Sound settings manually from Windows Control Panel.");
  EXPECT_EQ(prompts_.shown[0].icon, UserPrompts::Icon::Warning);
  EXPECT_EQ(window->PaneText(0), "Ready");

  const std::string marker = bin / "opened";
  {
    std::ofstream script(bin / "pavucontrol");
    script << "#!/bin/sh\necho \"$@\" > " << marker << "\n";
  }
  std::filesystem::permissions(bin / "pavucontrol", std::filesystem::perms::owner_all);
  Click(window->ControlAs<QPushButton>(IDC_MIC_PROPERTIES));
  EXPECT_TRUE(testsupport::WaitUntil([&] { return std::filesystem::exists(marker); }, std::chrono::seconds(5)));
  EXPECT_EQ(window->PaneText(0), "Microphone properties opened");
  EXPECT_EQ(prompts_.shown.size(), 1u);
  ::setenv("PATH", savedPath.c_str(), 1);

  // With no microphone in the list the user is told to pick one first.
  engine_.microphones.clear();
  auto empty = Make();
  Click(empty->ControlAs<QPushButton>(IDC_MIC_PROPERTIES));
  EXPECT_EQ(prompts_.LastText(), "Please select a microphone first.");
}

TEST_F(MainWindowTest, ViewLogsFollowsTheLoggingSwitch) {
  Store("FolderPath", "/data");
  auto window = Make();
  QMenu* setup = window->setupMenu();
  emit setup->aboutToShow();
  EXPECT_FALSE(setup->actions().contains(window->Command(ID_VIEW_LOGS)));
  Store("LoggingEnabled", "TRUE");
  window->ReloadLoggingSwitch();
  emit setup->aboutToShow();
  const QList<QAction*> items = setup->actions();
  const qsizetype logs = items.indexOf(window->Command(ID_VIEW_LOGS));
  ASSERT_GE(logs, 2);
  EXPECT_TRUE(items[logs - 1]->isSeparator());
  EXPECT_EQ(items[logs - 2], window->Command(ID_DEFAULT_SETTINGS));
  EXPECT_TRUE(window->Command(ID_VIEW_LOGS)->isEnabled());
  emit setup->aboutToShow();  // once only
  const QList<QAction*> again = setup->actions();
  EXPECT_EQ(again.count(window->Command(ID_VIEW_LOGS)), 1);
  EXPECT_EQ(std::count_if(again.begin(), again.end(), [](QAction* a) { return a->isSeparator(); }), 1);
}

TEST_F(MainWindowTest, SmallCameraSizeIsQuestionedWhenTheEditLosesFocus) {
  Store("FolderPath", "/data");
  Store("ShowAdvancedOptions", "TRUE");
  auto window = Make();
  CMainDlg& w = *window;
  Click(Get<QCheckBox>(w, IDC_INCLUDE_CAMERA));
  Click(Get<QRadioButton>(w, IDC_SQUARE));
  auto* size = Get<QLineEdit>(w, IDC_CAMERA_SIZE);
  size->setFocus();
  size->selectAll();
  QTest::keyClicks(size, "8x0");  // digits only
  EXPECT_EQ(size->text(), "80");
  prompts_.answers = {false};
  Get<QComboBox>(w, IDC_PLACEMENT)->setFocus();
  QApplication::processEvents();
  ASSERT_FALSE(prompts_.shown.empty());
  EXPECT_EQ(prompts_.shown.back().title, "Small Camera Window Warning");
  EXPECT_NE(prompts_.LastText().find("Camera window size (80 pixels) is very small!"), std::string::npos);
  EXPECT_EQ(size->text(), "150");
  Get<QComboBox>(w, IDC_PLACEMENT)->setCurrentIndex(8);
  w.SaveMainSettings();
  EXPECT_EQ(Stored("CameraSize"), "150");
  EXPECT_EQ(Stored("IncludeCamera"), "TRUE");
  EXPECT_EQ(Stored("CameraAreaShape"), "1");
  EXPECT_EQ(Stored("CameraPlacement"), "Center");
  const std::string debug = Debug();
  for (const char* line : {"Include camera: Yes\n", "Camera area shape: Square\n", "Camera size: 80\n",
                           "Camera size reset to 150 pixels (on focus loss)\n",
                           "Camera size validated on focus loss: 150\n", "Camera placement: Center\n"})
    EXPECT_NE(debug.find(line), std::string::npos) << line;
}

TEST_F(MainWindowTest, ServerListIsReadAgainAfterTheServersDialogOk) {
  Store("FolderPath", "/data");
  Store("ShowAdvancedOptions", "TRUE");
  auto window = Make();
  ASSERT_EQ(window->mainSettings().servers.size(), 0u);
  QTimer::singleShot(200, [] {
    auto* dialog = qobject_cast<CStreamingSettingsDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    dialog->nameEdit()->setText("Local");
    dialog->urlEdit()->setText("rtmp://127.0.0.1/live");
    dialog->keyEdit()->setText("k");
    dialog->enableBox()->setChecked(true);
    dialog->OnAdd();
    dialog->OnOk();
  });
  Click(window->ControlAs<QPushButton>(IDC_SERVERS));
  const auto& servers = window->mainSettings().servers;
  ASSERT_FALSE(servers.empty());
  EXPECT_EQ(servers.back().name, "Local");
  EXPECT_EQ(servers.back().key, "k");
}

TEST_F(MainWindowTest, StatusPaneShowsFedSystemFigures) {
  times_.samples = {{true, 100, 300, 100, 10, 10, 42}, {true, 250, 500, 200, 25, 25, 43}};
  auto window = Make();
  window->UpdateSystemStats();
  EXPECT_EQ(window->PaneText(2), "CPU: App --% , Total --% | RAM: 42%");
  window->UpdateSystemStats();
  EXPECT_EQ(window->PaneText(2), "CPU: App 10% , Total 50% | RAM: 43%");
}

TEST_F(MainWindowTest, CameraProperties) {
  Store("FolderPath", "/data");
  Store("ShowAdvancedOptions", "TRUE");
  auto window = Make();
  auto* button = window->ControlAs<QPushButton>(IDC_CAMERA_PROPERTIES);
  Click(button);
  EXPECT_EQ(prompts_.LastText(), "Unable to find the selected camera. Please ensure the camera is connected and try again.");

  cameras_.devices["USB Camera HD"] = "/dev/video7";
  cameras_.list.status = CameraControlList::Status::CannotOpen;
  Click(button);
  EXPECT_EQ(prompts_.LastText(), "Unable to access camera properties. This camera may not support DirectShow property pages.");
  cameras_.list.status = CameraControlList::Status::Failed;
  cameras_.list.errorCode = 5;
  Click(button);
  EXPECT_EQ(prompts_.LastText(), "Failed to open camera properties dialog. Error code: 0x00000005");
  cameras_.list.status = CameraControlList::Status::Ok;
  Click(button);
  EXPECT_EQ(prompts_.LastText(), "This camera does not support property pages. Please use Windows Camera Settings instead.");
  EXPECT_EQ(prompts_.shown.back().icon, UserPrompts::Icon::Information);
  EXPECT_EQ(window->PaneText(0), "Ready");

  CameraControl brightness;
  brightness.id = 0x00980900;
  brightness.name = "Brightness";
  brightness.minimum = 0;
  brightness.maximum = 255;
  brightness.value = 128;
  CameraControl autoFocus;
  autoFocus.id = 0x009a090c;
  autoFocus.name = "Focus, Automatic";
  autoFocus.kind = CameraControl::Kind::Boolean;
  cameras_.list.controls = {brightness, autoFocus};
  QString title;
  QTimer::singleShot(200, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    title = dialog->windowTitle();
    dialog->findChild<QSlider*>()->setValue(200);
    dialog->findChild<QCheckBox*>()->setChecked(true);
    dialog->close();
  });
  Click(button);
  EXPECT_EQ(title, "USB Camera HD");
  EXPECT_EQ(window->PaneText(0), "Camera properties dialog opened");
  EXPECT_EQ(cameras_.set, (std::vector<std::pair<uint32_t, int>>{{0x00980900, 200}, {0x009a090c, 1}}));
}

TEST_F(MainWindowTest, FactoryResetAnsweredNoChangesNothingAndYesRestarts) {
  Store("FolderPath", "/data");
  Store("MusicVolume", "55");
  store_.WriteValue(std::string(kRootKey) + "\\RecentFiles", "File0", "/data/a.mp4");
  auto window = Make();
  QSignalSpy closed(window.get(), &CMainDlg::closedForGood);
  const std::string before = testsupport::ReadFile(store_.filePath());
  prompts_.answers = {false};
  window->Command(ID_RESET)->trigger();
  EXPECT_EQ(testsupport::ReadFile(store_.filePath()), before);
  EXPECT_TRUE(launcher_.started.empty());
  EXPECT_EQ(prompts_.shown.back().title, "Reset to Factory Defaults");
  EXPECT_TRUE(prompts_.noWasDefault.back());

  prompts_.answers = {true};
  window->Command(ID_RESET)->trigger();
  EXPECT_FALSE(store_.EnumValue(kRootKey, 0));
  EXPECT_FALSE(store_.EnumSubkey(kRootKey, 0));
  ASSERT_EQ(launcher_.started.size(), 1u);
  EXPECT_EQ(launcher_.started[0].program, "/opt/orvex/OrvexLite");
  EXPECT_TRUE(launcher_.started[0].arguments.empty());
  EXPECT_EQ(engine_.CountOf("qelsetFrameRate"), 1);
  EXPECT_EQ(engine_.CountOf("qelSetCrf"), 1);
  EXPECT_TRUE(closed.wait(3000));
  EXPECT_FALSE(store_.EnumValue(kRootKey, 0));  // closing saved nothing
}

TEST_F(MainWindowTest, ExitAsksFirst) {
  auto window = Make();
  QSignalSpy closed(window.get(), &CMainDlg::closedForGood);
  prompts_.answers = {false};
  window->Command(ID_FILE_EXIT)->trigger();
  EXPECT_EQ(prompts_.LastText(), "Are you sure you want to exit Orvex?");
  EXPECT_EQ(prompts_.shown.back().title, "Exit Confirmation");
  EXPECT_EQ(closed.count(), 0);
  prompts_.answers = {true};
  window->Command(ID_FILE_EXIT)->trigger();
  EXPECT_EQ(closed.count(), 1);
}

TEST_F(MainWindowTest, AboutShowsTheVersionAndWebOpensTheSite) {
  auto window = Make();
  QString title, version;
  QTimer::singleShot(200, [&] {
    QWidget* about = QApplication::activeModalWidget();
    ASSERT_NE(about, nullptr);
    title = about->windowTitle();
    version = about->findChild<QLabel*>("label1135")->text();
    QTest::mouseClick(about->findChild<QPushButton*>("webButton"), Qt::LeftButton);
    QTest::mouseClick(about->findChild<QPushButton*>("okButton"), Qt::LeftButton);
  });
  Click(window->ControlAs<QPushButton>(IDC_ABOUT));
  EXPECT_EQ(title, "About Orvex ");
  EXPECT_TRUE(version.startsWith("Ver "));
  ASSERT_EQ(launcher_.opened.size(), 1u);
  EXPECT_EQ(launcher_.opened[0].rfind("https://", 0), 0u);
  window->Command(ID_HELP_WEBSITE)->trigger();
  EXPECT_EQ(launcher_.opened.back(), launcher_.opened[0]);
}

TEST_F(MainWindowTest, CloseBoxHidesAndTheProgramOutlivesAMessageBox) {
  Store("FolderPath", "/data");
  Store("LoggingEnabled", "TRUE");
  auto window = Make();
  window->close();
  EXPECT_TRUE(window->isHidden());
  const auto events = window->eventLog().ReadAllEvents();
  EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const EventRecord& event) {
    return event.type == ApplicationExited && event.description == "Application exited" && event.details.empty();
  }));

  // With the window hidden, a message box that closes must not end the event loop.
  QTimer::singleShot(100, [] {
    auto* box = new QMessageBox(QMessageBox::Information, "Orvex", "Done");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
    QTimer::singleShot(100, box, &QWidget::close);
  });
  QTimer::singleShot(800, [] { QApplication::exit(42); });
  EXPECT_EQ(QApplication::exec(), 42);

  Click(window->ControlAs<QPushButton>(IDC_CLOSE));
  EXPECT_TRUE(window->isHidden());
}

}  // namespace
