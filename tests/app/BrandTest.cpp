// The brand overlay's rules with the design's numbers, its window's logo and
// mask, and the "Brand Settings" dialog answered through UserPrompts.
#include <QBitmap>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>

#include "MainWindowFixture.h"
#include "features/BrandLayout.h"
#include "features/BrandOverlayDialog.h"
#include "features/BrandSettingsDialog.h"

using namespace orvex;
using namespace testsupport;

namespace {

// Every character 10 pixels wide at 24 pixels, in proportion at other sizes.
int FakeWidth(const std::string& text, int pixels, bool) { return static_cast<int>(text.size()) * pixels * 10 / 24; }

BrandValues WithTexts(bool name, bool title, bool logo) {
  BrandValues values;
  values.name = name ? "Ada" : "";
  values.title = title ? "Engineer" : "";
  values.logoPath = logo ? "/logo.png" : "";
  return values;
}

TEST(BrandLayoutTest, NameTitleAndLogoStackAsDesigned) {
  const BrandLayout all = LayOutBrand(WithTexts(true, true, true), QSize(250, 200), QSize(400, 100), FakeWidth);
  EXPECT_EQ(all.top, 34);
  EXPECT_EQ(all.nameLabel, QRect(10, 34, 230, 30));
  EXPECT_EQ(all.titleLabel, QRect(10, 74, 230, 25));
  EXPECT_EQ(all.logo.top(), 109);
  EXPECT_EQ(all.logo.top() + all.logo.height(), 166);
  EXPECT_EQ(LogoDrawRect(all.logo, QSize(400, 100)), QRect(11, 109, 228, 57));

  const BrandLayout nameOnly = LayOutBrand(WithTexts(true, false, false), QSize(250, 200), {}, FakeWidth);
  EXPECT_EQ(nameOnly.top, 85);
  EXPECT_TRUE(nameOnly.titleLabel.isEmpty());
  EXPECT_TRUE(nameOnly.logo.isEmpty());

  // A logo that could not be decoded is left out of the stack.
  EXPECT_TRUE(LayOutBrand(WithTexts(true, false, true), QSize(250, 200), {}, FakeWidth).logo.isEmpty());
  // Logo only, as recorded below: 57 high in the middle.
  const BrandLayout logoOnly = LayOutBrand(WithTexts(false, false, true), QSize(250, 200), QSize(400, 100), FakeWidth);
  EXPECT_EQ(LogoDrawRect(logoOnly.logo, QSize(400, 100)), QRect(11, 71, 228, 57));
  // A tall image: full height, centred across.
  EXPECT_EQ(LogoDrawRect(QRect(10, 10, 230, 100), QSize(50, 100)), QRect(100, 10, 50, 100));
}

TEST(BrandLayoutTest, FontsShrinkToFitAndStopAtEightPixels) {
  BrandValues values = WithTexts(true, true, false);
  values.name = std::string(20, 'W');  // 200 px at 24: fits 230
  EXPECT_EQ(LayOutBrand(values, QSize(250, 200), {}, FakeWidth).nameFontPixels, 24);
  values.name = std::string(30, 'W');  // 300 px at 24: 18 px gives 225
  EXPECT_EQ(LayOutBrand(values, QSize(250, 200), {}, FakeWidth).nameFontPixels, 18);
  values.name = std::string(500, 'W');
  EXPECT_EQ(LayOutBrand(values, QSize(250, 200), {}, FakeWidth).nameFontPixels, 8);
  EXPECT_EQ(LayOutBrand(values, QSize(250, 200), {}, FakeWidth).titleFontPixels, 18);
}

TEST(BrandLayoutTest, PositionsKeepTenPixelsFromTheEdges) {
  const QSize size(250, 200), screen(1280, 720);
  EXPECT_EQ(BrandWindowRect(3, size, screen), QRect(1020, 510, 250, 200));
  EXPECT_EQ(BrandWindowRect(1, size, screen).topLeft(), QPoint(1020, 10));
  EXPECT_EQ(BrandWindowRect(2, size, screen).topLeft(), QPoint(10, 510));
  EXPECT_EQ(BrandWindowRect(7, size, screen).topLeft(), QPoint(10, 10));
  EXPECT_EQ(ColourRef(1, 2, 3), 0x030201u);
}

class BrandStoreTest : public MainWindowTest {};

TEST_F(BrandStoreTest, StoredValuesAreCheckedAndLongPathsKept) {
  Settings settings(store_);
  BrandValues defaults = ReadBrandValues(settings);
  EXPECT_FALSE(defaults.enabled);
  EXPECT_TRUE(defaults.showLogo && defaults.showName && defaults.showTitle);
  EXPECT_EQ(defaults.backgroundColour, 0xFFFFFFu);
  Store("BrandWidth", "50");
  Store("BrandHeight", "60000");
  Store("BrandPosition", "7");
  Store("EnableBrand", "1");  // only exactly "TRUE"
  const std::string longPath = "/home/someone/Pictures/" + std::string(150 - 27, 'l') + ".png";
  ASSERT_EQ(longPath.size(), 150u);
  Store("BrandLogoPath", longPath);
  const BrandValues read = ReadBrandValues(settings);
  EXPECT_EQ(read.width, 250);
  EXPECT_EQ(read.height, 200);
  EXPECT_EQ(read.position, 0);
  EXPECT_FALSE(read.enabled);
  EXPECT_EQ(read.logoPath, longPath);
}

TEST_F(BrandStoreTest, ALogoThatIsNoImageIsLeftOutAndSaidSo) {
  const std::string notImage = dir_ / "logo.png";
  RunCommand("echo 'not a picture' > '" + notImage + "'");
  BrandValues values = WithTexts(true, false, true);
  values.logoPath = notImage;
  CBrandOverlayDlg overlay;
  overlay.Apply(values);
  EXPECT_TRUE(overlay.logo().isNull());
  EXPECT_TRUE(overlay.layout().logo.isEmpty());
  EXPECT_EQ(overlay.layout().top, 85);
  EXPECT_NE(Debug().find("Failed to load logo image: Path=" + notImage + ", HRESULT=0x0000000"), std::string::npos)
      << Debug();
}

TEST_F(BrandStoreTest, TransparencyCutsOutExactlyTheBackgroundColour) {
  QImage logo(40, 10, QImage::Format_RGB32);
  logo.fill(QColor(255, 0, 255));
  const std::string path = dir_ / "logo.png";
  ASSERT_TRUE(logo.save(QString::fromStdString(path)));
  BrandValues values = WithTexts(false, false, true);
  values.logoPath = path;
  values.transparent = true;
  CBrandOverlayDlg overlay;
  overlay.Apply(values);
  EXPECT_FALSE(overlay.mask().contains(QPoint(5, 5)));      // white background: cut out
  EXPECT_TRUE(overlay.mask().contains(QPoint(125, 100)));   // the logo stays
  values.transparent = false;
  overlay.Apply(values);
  EXPECT_TRUE(overlay.mask().isEmpty());  // no longer transparent: no mask
}

class BrandSettingsTest : public MainWindowTest {
 protected:
  std::unique_ptr<CBrandSettingsDlg> Open() {
    auto dialog = std::make_unique<CBrandSettingsDlg>(store_, prompts_);
    dialog->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    return dialog;
  }
  static void PressOk(CBrandSettingsDlg& dialog) {
    Click(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok));
  }
};

TEST_F(BrandSettingsTest, StoredValuesOpenCheckedAndABadSizeWritesNothing) {
  Store("EnableBrand", "TRUE");
  Store("BrandWidth", "50");
  Store("BrandHeight", "60000");
  Store("BrandPosition", "7");
  auto dialog = Open();
  EXPECT_EQ(dialog->windowTitle(), "Brand Settings");
  EXPECT_EQ(dialog->widthEdit()->text(), "250");
  EXPECT_EQ(dialog->heightEdit()->text(), "200");
  EXPECT_EQ(dialog->positionList()->currentText(), "Top Left");
  dialog->widthEdit()->setText("2500");
  PressOk(*dialog);
  ASSERT_EQ(prompts_.shown.size(), 1u);
  EXPECT_EQ(prompts_.shown[0].title, "OrvexLite");
  EXPECT_EQ(prompts_.shown[0].text, "Enter an integer between 100 and 2000.");
  EXPECT_EQ(prompts_.shown[0].icon, UserPrompts::Icon::Warning);
  EXPECT_TRUE(dialog->widthEdit()->hasFocus());
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(Stored("BrandWidth"), "50");
  EXPECT_FALSE(Stored("BrandShowLogo"));
}

TEST_F(BrandSettingsTest, OkWritesTheFourteenValuesInTableOrder) {
  prompts_.pickAnswers.push_back(dir_ / "logo.png");
  prompts_.colourAnswers.push_back(ColourRef(10, 20, 30));
  auto dialog = Open();
  Click(dialog->enableBox());
  dialog->OnBrowse();
  EXPECT_EQ(prompts_.picks.back(),
            "file:Image Files (*.jpg;*.jpeg;*.png;*.bmp;*.gif)|*.jpg;*.jpeg;*.png;*.bmp;*.gif|All Files (*.*)|*.*|||"
            "*.jpg;*.jpeg;*.png;*.bmp;*.gif");
  Click(dialog->textColourButton());
  EXPECT_EQ(prompts_.picks.back(), "colour:0");
  dialog->positionList()->setCurrentIndex(3);
  PressOk(*dialog);
  EXPECT_FALSE(dialog->isVisible());
  const std::vector<std::string> order{"EnableBrand",      "BrandShowLogo",  "BrandShowName", "BrandShowTitle",
                                       "BrandPosition",    "BrandName",      "BrandTitle",    "BrandLogoPath",
                                       "BrandTransparent", "BrandShowOnlyWhenPreviewDialog", "BrandWidth",
                                       "BrandHeight",      "BrandTextColor", "BrandBkgColor"};
  std::vector<std::string> written;
  for (size_t i = 0;; ++i) {
    const auto value = store_.EnumValue(kRootKey, i);
    if (!value) break;
    if (value->first.rfind("Brand", 0) == 0 || value->first == "EnableBrand") written.push_back(value->first);
  }
  EXPECT_EQ(written, order);
  EXPECT_EQ(Stored("EnableBrand"), "TRUE");
  EXPECT_EQ(Stored("BrandLogoPath"), dir_ / "logo.png");
  EXPECT_EQ(Stored("BrandPosition"), "3");
  EXPECT_EQ(Stored("BrandTextColor"), std::to_string(ColourRef(10, 20, 30)));
  EXPECT_EQ(Stored("BrandBkgColor"), "16777215");
  EXPECT_EQ(Stored("BrandWidth"), "250");
}

TEST_F(BrandSettingsTest, TransparencyHidesTheBackgroundColourAndCaptionsReadOnTheirColour) {
  Store("EnableBrand", "TRUE");
  auto dialog = Open();
  EXPECT_TRUE(dialog->backgroundLabel()->isVisible());
  Click(dialog->transparentBox());
  EXPECT_FALSE(dialog->backgroundLabel()->isVisible());
  EXPECT_FALSE(dialog->backgroundButton()->isVisible());
  Click(dialog->transparentBox());
  EXPECT_TRUE(dialog->backgroundLabel()->isVisible());
  EXPECT_TRUE(dialog->backgroundButton()->isEnabled());

  // The caption's pixels on a light and on a dark button: those that differ
  // from the button's colour, and how bright they are on average.
  const auto captionBrightness = [&](uint32_t colour) {
    dialog->textColourButton()->SetColour(colour);
    const QImage picture = dialog->textColourButton()->grab().toImage();
    const QColor fill(RedOf(colour), GreenOf(colour), BlueOf(colour));
    int count = 0, sum = 0;
    for (int y = 2; y < picture.height() - 2; ++y)
      for (int x = 2; x < picture.width() - 2; ++x) {
        const QColor pixel(picture.pixel(x, y));
        if (std::abs(pixel.red() - fill.red()) < 40) continue;
        ++count;
        sum += pixel.red();
      }
    EXPECT_GT(count, 10) << "no caption drawn";
    return count ? sum / count : -1;
  };
  EXPECT_LT(captionBrightness(ColourRef(200, 200, 200)), 100);  // black on light grey
  EXPECT_GT(captionBrightness(ColourRef(20, 20, 20)), 150);     // white on near black
  EXPECT_EQ(CColourSwatchButton::CaptionColour(ColourRef(129, 129, 129)), QColor(Qt::black));
  EXPECT_EQ(CColourSwatchButton::CaptionColour(ColourRef(128, 128, 128)), QColor(Qt::white));
}

}  // namespace
