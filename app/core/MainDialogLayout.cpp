// The main window's controls, menus and status bar, in the option table's
// tab order.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

#include "core/ClickablePicture.h"
#include "core/MainDialog.h"
#include "features/CustomColorButton.h"

namespace {

// Each control's object name, so tests and tools can find it by role.
struct ControlName {
  int id;
  const char* name;
};
constexpr ControlName kControlNames[] = {
    {IDC_FOLDER_EDIT, "folderEdit"},           {IDC_FOLDER_BUTTON, "folderButton"},
    {IDC_RECORD_AUDIO, "recordAudioCheck"},    {IDC_MIC_LABEL, "microphoneLabel"},
    {IDC_MICROPHONE, "microphoneList"},        {IDC_MIC_PROPERTIES, "microphonePropertiesButton"},
    {IDC_FILE_NAME_LABEL, "fileNameLabel"},    {IDC_FILE_NAME, "fileNameEdit"},
    {IDC_CONFIGURE_GROUP, "configureGroup"},   {IDC_NEW_FILE, "newFileCheck"},
    {IDC_DATE_FOLDERS, "dateFoldersCheck"},    {IDC_DATE_LABEL, "dateFormatLabel"},
    {IDC_DATE_FORMAT, "dateFormatList"},       {IDC_DATE_EXAMPLE, "dateExampleLabel"},
    {IDC_ADVANCED, "advancedCheck"},           {IDC_ADVANCED_CAPTION, "advancedCaption"},
    {IDC_ADVANCED_GROUP, "advancedGroup"},     {IDC_INCLUDE_CAMERA, "includeCameraCheck"},
    {IDC_CIRCLE, "circleRadio"},               {IDC_SQUARE, "squareRadio"},
    {IDC_SIZE_LABEL, "sizeLabel"},             {IDC_CAMERA_SIZE, "cameraSizeEdit"},
    {IDC_PX_LABEL, "pxLabel"},                 {IDC_CAMERA_LABEL, "cameraLabel"},
    {IDC_CAMERA, "cameraList"},                {IDC_CAMERA_PROPERTIES, "cameraPropertiesButton"},
    {IDC_PLACEMENT_LABEL, "placementLabel"},   {IDC_PLACEMENT, "placementList"},
    {IDC_MUSIC, "musicCheck"},                 {IDC_MUSIC_FILE, "musicFileEdit"},
    {IDC_MUSIC_BUTTON, "musicButton"},         {IDC_VOLUME_LABEL, "volumeLabel"},
    {IDC_VOLUME, "volumeSlider"},              {IDC_VOLUME_TEXT, "volumeText"},
    {IDC_PLAYBACK, "playbackCheck"},           {IDC_SOUND_PANEL, "soundPanelButton"},
    {IDC_STREAMING, "streamingCheck"},         {IDC_SERVERS, "serversButton"},
    {IDC_START_STOP, "startStopButton"},       {IDC_ABOUT, "aboutButton"},
    {IDC_CLOSE, "closeButton"},                {IDC_SIDE_PICTURE, "sidePicture"},
    {IDC_BANNER, "bannerPicture"},             {IDC_STATUS_BAR, "statusBar"},
};

// Status pane widths as shares of the client width at creation.
constexpr double kPaneShares[4] = {0.29, 0.20, 0.28, 0.23};
constexpr QStyle::StandardPixmap kPaneIcons[4] = {QStyle::SP_MessageBoxInformation, QStyle::SP_MessageBoxWarning,
                                                  QStyle::SP_ComputerIcon, QStyle::SP_DriveNetIcon};
constexpr int kClientWidth = 880;

QPushButton* EllipsisButton(QWidget* parent) {
  auto* button = new QPushButton("...", parent);
  button->setFixedWidth(32);
  return button;
}

}  // namespace

void CMainDlg::BuildControls() {
  auto* central = new QWidget(this);
  setCentralWidget(central);
  auto add = [this](int id, QWidget* widget) {
    controls_[id] = widget;
    return widget;
  };

  auto* side = new CClickablePicture(QPixmap(":/orvex/side-panel.png"), central);
  add(IDC_SIDE_PICTURE, side);

  auto* outputGroup = new QGroupBox("Select the output folder", central);
  auto* folderEdit = new QLineEdit(outputGroup);
  folderEdit->setReadOnly(true);
  add(IDC_FOLDER_EDIT, folderEdit);
  add(IDC_FOLDER_BUTTON, EllipsisButton(outputGroup));
  auto* outputRow = new QHBoxLayout(outputGroup);
  outputRow->addWidget(folderEdit);
  outputRow->addWidget(Control(IDC_FOLDER_BUTTON));

  auto* optionsGroup = new QGroupBox("Recording Options", central);
  add(IDC_RECORD_AUDIO, new QCheckBox("Record with audio", optionsGroup));
  add(IDC_MIC_LABEL, new QLabel("Microphone:", optionsGroup));
  add(IDC_MICROPHONE, new QComboBox(optionsGroup));
  add(IDC_MIC_PROPERTIES, EllipsisButton(optionsGroup));
  add(IDC_FILE_NAME_LABEL, new QLabel("Default output filename :", optionsGroup));
  add(IDC_FILE_NAME, new QLineEdit(optionsGroup));
  auto* options = new QGridLayout(optionsGroup);
  options->addWidget(Control(IDC_RECORD_AUDIO), 0, 0);
  options->addWidget(Control(IDC_MIC_LABEL), 0, 1);
  options->addWidget(Control(IDC_MICROPHONE), 0, 2);
  options->addWidget(Control(IDC_MIC_PROPERTIES), 0, 3);
  options->addWidget(Control(IDC_FILE_NAME_LABEL), 1, 0);
  options->addWidget(Control(IDC_FILE_NAME), 1, 1, 1, 3);
  options->setColumnStretch(2, 1);

  auto* configure = new QGroupBox("Configure Settings", central);
  add(IDC_CONFIGURE_GROUP, configure);
  configure->setStyleSheet("QGroupBox { color: rgb(0, 0, 255); font-family: Arial; }");
  add(IDC_NEW_FILE, new QCheckBox("Create seperate file for each recording session", configure));
  add(IDC_DATE_FOLDERS, new QCheckBox("Record in Separate Date Folders", configure));
  add(IDC_DATE_LABEL, new QLabel("Date Format:", configure));
  auto* dateFormats = new QComboBox(configure);
  dateFormats->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  add(IDC_DATE_FORMAT, dateFormats);
  add(IDC_DATE_EXAMPLE, new QLabel("Example", configure));
  add(IDC_ADVANCED, new QCheckBox(configure));
  auto* caption = new QLabel("Show Advanced Recording And Streaming Options", configure);
  caption->setStyleSheet("color: rgb(0, 0, 255);");
  add(IDC_ADVANCED_CAPTION, caption);
  auto* configureGrid = new QGridLayout(configure);
  configureGrid->addWidget(Control(IDC_NEW_FILE), 0, 0, 1, 4);
  configureGrid->addWidget(Control(IDC_DATE_FOLDERS), 1, 0);
  configureGrid->addWidget(Control(IDC_DATE_LABEL), 1, 1);
  configureGrid->addWidget(Control(IDC_DATE_FORMAT), 1, 2);
  configureGrid->addWidget(Control(IDC_DATE_EXAMPLE), 1, 3);
  auto* advancedRow = new QHBoxLayout;
  advancedRow->addWidget(Control(IDC_ADVANCED));
  advancedRow->addWidget(caption, 1);
  configureGrid->addLayout(advancedRow, 2, 0, 1, 4);

  auto* advanced = new QGroupBox("Select Advanced Options", central);
  add(IDC_ADVANCED_GROUP, advanced);
  add(IDC_INCLUDE_CAMERA, new QCheckBox("Include Camera   Area:", advanced));
  add(IDC_CIRCLE, new QRadioButton("Circle", advanced));
  add(IDC_SQUARE, new QRadioButton("Square", advanced));
  add(IDC_SIZE_LABEL, new QLabel("Size:", advanced));
  auto* size = new QLineEdit(advanced);
  size->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), size));
  size->setFixedWidth(60);
  add(IDC_CAMERA_SIZE, size);
  add(IDC_PX_LABEL, new QLabel("Px", advanced));
  add(IDC_CAMERA_LABEL, new QLabel("Camera:", advanced));
  add(IDC_CAMERA, new QComboBox(advanced));
  add(IDC_CAMERA_PROPERTIES, EllipsisButton(advanced));
  add(IDC_PLACEMENT_LABEL, new QLabel("Placement:", advanced));
  add(IDC_PLACEMENT, new QComboBox(advanced));
  add(IDC_MUSIC, new QCheckBox("Enable Background Music", advanced));
  auto* musicFile = new QLineEdit(advanced);
  musicFile->setReadOnly(true);
  add(IDC_MUSIC_FILE, musicFile);
  add(IDC_MUSIC_BUTTON, EllipsisButton(advanced));
  add(IDC_VOLUME_LABEL, new QLabel("Music Vol:", advanced));
  auto* volume = new QSlider(Qt::Horizontal, advanced);
  add(IDC_VOLUME, volume);
  auto* volumeText = new QLineEdit(advanced);
  volumeText->setReadOnly(true);
  volumeText->setFixedWidth(50);
  add(IDC_VOLUME_TEXT, volumeText);
  add(IDC_PLAYBACK, new QCheckBox("Play Bkg Music to the Default Playback Device", advanced));
  add(IDC_SOUND_PANEL, EllipsisButton(advanced));
  add(IDC_STREAMING, new QCheckBox("Enable Video Streaming", advanced));
  add(IDC_SERVERS, EllipsisButton(advanced));

  auto* grid = new QGridLayout(advanced);
  auto* cameraRow = new QHBoxLayout;
  for (int id : {IDC_INCLUDE_CAMERA, IDC_CIRCLE, IDC_SQUARE, IDC_SIZE_LABEL, IDC_CAMERA_SIZE, IDC_PX_LABEL})
    cameraRow->addWidget(Control(id));
  cameraRow->addStretch();
  grid->addLayout(cameraRow, 0, 0, 1, 4);
  grid->addWidget(Control(IDC_CAMERA_LABEL), 1, 0);
  auto* cameraPick = new QHBoxLayout;
  cameraPick->addWidget(Control(IDC_CAMERA), 1);
  cameraPick->addWidget(Control(IDC_CAMERA_PROPERTIES));
  cameraPick->addWidget(Control(IDC_PLACEMENT_LABEL));
  cameraPick->addWidget(Control(IDC_PLACEMENT), 1);
  grid->addLayout(cameraPick, 1, 1, 1, 3);
  grid->addWidget(Control(IDC_MUSIC), 2, 0);
  grid->addWidget(musicFile, 2, 1, 1, 2);
  grid->addWidget(Control(IDC_MUSIC_BUTTON), 2, 3);
  grid->addWidget(Control(IDC_VOLUME_LABEL), 3, 0);
  grid->addWidget(volume, 3, 1);
  grid->addWidget(volumeText, 3, 2);
  grid->addWidget(Control(IDC_PLAYBACK), 4, 0, 1, 3);
  grid->addWidget(Control(IDC_SOUND_PANEL), 4, 3);
  grid->addWidget(Control(IDC_STREAMING), 5, 0, 1, 3);
  grid->addWidget(Control(IDC_SERVERS), 5, 3);
  grid->setColumnStretch(1, 1);

  auto* banner = new CClickablePicture(QPixmap(":/orvex/banner.png"), central);
  banner->setAlignment(Qt::AlignCenter);
  add(IDC_BANNER, banner);

  auto* startStop = new QPushButton("Start Recording", central);
  startStop->setMinimumHeight(34);
  add(IDC_START_STOP, startStop);
  add(IDC_ABOUT, new CCustomColorButton("About", central));
  add(IDC_CLOSE, new CCustomColorButton("Close", central));
  for (int id : {IDC_ABOUT, IDC_CLOSE}) Control(id)->setMinimumSize(90, 34);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(startStop, 1);
  buttons->addWidget(Control(IDC_ABOUT));
  buttons->addWidget(Control(IDC_CLOSE));

  auto* column = new QGridLayout;
  column->addWidget(outputGroup, 0, 0);
  column->addWidget(optionsGroup, 1, 0);
  column->addWidget(configure, 2, 0);
  // The banner takes the advanced group's place while the group is hidden.
  column->addWidget(advanced, 3, 0);
  column->addWidget(banner, 3, 0);
  column->setRowStretch(4, 1);
  column->addLayout(buttons, 5, 0);
  auto* page = new QHBoxLayout(central);
  page->addWidget(side, 0, Qt::AlignTop);
  page->addLayout(column, 1);

  for (const ControlName& entry : kControlNames)
    if (QWidget* widget = Control(entry.id)) widget->setObjectName(entry.name);
  // Tab order follows the option table.
  QWidget* previous = nullptr;
  for (const ControlName& entry : kControlNames) {
    QWidget* widget = Control(entry.id);
    if (!widget || widget->focusPolicy() == Qt::NoFocus) continue;
    if (previous) setTabOrder(previous, widget);
    previous = widget;
  }
}

void CMainDlg::BuildMenus() {
  auto item = [this](QMenu* menu, int id, const QString& text, bool built) {
    QAction* action = menu->addAction(text);
    action->setData(id);
    action->setEnabled(built);  // items of parts not built yet stay in place, disabled
    commands_[id] = action;
    return action;
  };
  QMenu* file = menuBar()->addMenu("&File");
  connect(item(file, ID_FILE_EXIT, "E&xit", true), &QAction::triggered, this, &CMainDlg::OnExit);

  setupMenu_ = menuBar()->addMenu("&Setup");
  connect(item(setupMenu_, ID_SHOW_CAMERA, "Show &Camera", true), &QAction::triggered, this, &CMainDlg::OnShowCamera);
  connect(item(setupMenu_, ID_SCHEDULE, "Schedule Recording", true), &QAction::triggered, this,
          &CMainDlg::OnScheduleRecording);
  connect(item(setupMenu_, ID_BRAND_SETTINGS, "Brand Settings", true), &QAction::triggered, this,
          &CMainDlg::OnBrandSettings);
  connect(item(setupMenu_, ID_DEFAULT_SETTINGS, "Default Settings", true), &QAction::triggered, this,
          &CMainDlg::OnDefaultSettings);
  setupMenu_->addSeparator();
  connect(item(setupMenu_, ID_VIEW_LOGS, "View Logs", true), &QAction::triggered, this, &CMainDlg::OnViewLogs);
  connect(item(setupMenu_, ID_RESET, "Reset to Factory Defaults", true), &QAction::triggered, this,
          &CMainDlg::OnResetToFactoryDefaults);
  connect(setupMenu_, &QMenu::aboutToShow, this, &CMainDlg::PrepareSetupMenu);

  QMenu* tools = menuBar()->addMenu("&Tools");
  connect(item(tools, ID_PLAY_RECORDED, "Play Recorded Videos", true), &QAction::triggered, this,
          &CMainDlg::OnPlayRecordedVideos);
  connect(item(tools, ID_SNIPPING_TOOL, "Snipping Tool", true), &QAction::triggered, this, &CMainDlg::OnSnippingTool);
  connect(item(tools, ID_PAINT, "MS Paint", true), &QAction::triggered, this, &CMainDlg::OnPaint);

  QMenu* help = menuBar()->addMenu("&Help");
  connect(item(help, ID_HELP_WEBSITE, "&Visit Website", true), &QAction::triggered, this, &CMainDlg::OnVisitWebsite);
  connect(item(help, ID_HELP_ABOUT, "&About", true), &QAction::triggered, this, &CMainDlg::OnAbout);
}

void CMainDlg::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("statusBar");
  bar->setSizeGripEnabled(false);
  controls_[IDC_STATUS_BAR] = bar;
  for (int pane = 0; pane < 4; ++pane) {
    auto* box = new QWidget(bar);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(2, 0, 2, 0);
    auto* icon = new QLabel(box);
    icon->setPixmap(style()->standardIcon(kPaneIcons[pane]).pixmap(14, 14));
    panes_[pane] = new QLabel(box);
    panes_[pane]->setObjectName(QString("pane%1").arg(pane));
    row->addWidget(icon);
    row->addWidget(panes_[pane], 1);
    box->setFixedWidth(static_cast<int>(kClientWidth * kPaneShares[pane]));
    bar->addWidget(box);
  }
  resize(kClientWidth, sizeHint().height());
}

QWidget* CMainDlg::Control(int id) const {
  const auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second;
}

QAction* CMainDlg::Command(int id) const {
  const auto found = commands_.find(id);
  return found == commands_.end() ? nullptr : found->second;
}

QString CMainDlg::PaneText(int pane) const { return panes_[pane]->text(); }
void CMainDlg::SetPaneText(int pane, const QString& text) { panes_[pane]->setText(text); }
