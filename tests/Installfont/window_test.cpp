// The font window on generated discs: layout, captions, the list of a style, the counters, the
// mode switches, Select All and Reset, dragging and closing.
#include <QFontInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <set>

#include "Installfont/window_support.h"
#include "platform/files.h"

namespace {

using fixture::Font;
using fixture::Style;
using fixture::WindowTest;

struct Place {
  const char* name;
  QRect rect;
};

TEST_F(WindowTest, ControlsStartWhereTheLayoutPutsThem) {
  window = std::make_unique<TInsFont>(&launcher, &startFolder);
  EXPECT_EQ(window->size(), QSize(555, 458));
  EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(window->windowTitle(), "InstallFont");
  EXPECT_FALSE(window->isVisible());

  const std::vector<Place> places = {
      {"Label1", {16, 8, 102, 12}},          {"ComboFontStyle", {16, 32, 370, 20}},
      {"Label2", {16, 64, 60, 12}},          {"FontListBox", {16, 88, 370, 315}},
      {"CheckInstallBoth", {14, 402, 361, 17}}, {"RadioInstall", {398, 22, 89, 17}},
      {"RadioRemove", {398, 46, 81, 17}},    {"Mark", {398, 156, 24, 18}},
      {"Label18", {432, 160, 102, 12}},      {"Label3", {432, 184, 36, 12}},
      {"Label11", {499, 184, 6, 12}},        {"Label5", {408, 200, 60, 12}},
      {"Label12", {499, 200, 6, 12}},        {"Label7", {414, 216, 54, 12}},
      {"Label13", {499, 216, 6, 12}},        {"Label9", {402, 232, 66, 12}},
      {"Label14", {499, 232, 6, 12}},        {"Label10", {384, 248, 84, 12}},
      {"Label15", {499, 248, 6, 12}},        {"Run", {415, 272, 115, 25}},
      {"SelectAll", {415, 306, 115, 25}},    {"Clear", {415, 341, 115, 25}},
      {"Exit", {415, 376, 115, 25}},         {"ProgressBar1", {0, 424, 555, 16}},
      {"StatusBar", {0, 439, 555, 19}},
  };
  for (const Place& p : places) {
    QWidget* control = Find<QWidget>(p.name);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->geometry(), p.rect) << p.name;
  }
  for (const char* unit : {"Label4", "Label6", "Label8", "Label16", "Label17"})
    EXPECT_EQ(Find<QWidget>(unit)->x(), 512) << unit;
  EXPECT_EQ(Find<QWidget>("InstallBack")->pos(), QPoint(-58, -10));

  EXPECT_TRUE(Find<QRadioButton>("RadioInstall")->isChecked());
  EXPECT_TRUE(Find<QCheckBox>("CheckInstallBoth")->isChecked());
  EXPECT_FALSE(Find<QProgressBar>("ProgressBar1")->isVisibleTo(window.get()));
  EXPECT_EQ(Find<QProgressBar>("ProgressBar1")->maximum(), 100);
  EXPECT_TRUE(Find<QComboBox>("ComboFontStyle")->isEditable());
  for (const char* name : {"Run", "SelectAll", "Clear", "Exit", "FontListBox", "RadioInstall",
                           "RadioRemove", "ComboFontStyle"})
    EXPECT_FALSE(Find<QWidget>(name)->isEnabled()) << name;
  for (const char* name : {"Run", "SelectAll", "Clear", "Exit"})
    EXPECT_EQ(Find<QWidget>(name)->cursor().shape(), Qt::PointingHandCursor) << name;

  // A Traditional Chinese font at 12 pixels; Debian's AR PL UMing stands in for the Windows one.
  EXPECT_EQ(window->font().pixelSize(), 12);
  EXPECT_TRUE(QFontInfo(window->font()).family().startsWith("AR PL UMing"))
      << QFontInfo(window->font()).family().toStdString();

  // Tab order: the list box, the combo box, then the check box, the radios and the buttons.
  const std::vector<QString> expected = {"FontListBox", "ComboFontStyle", "CheckInstallBoth",
                                         "RadioInstall", "RadioRemove", "Run", "SelectAll",
                                         "Clear", "Exit"};
  const std::set<QString> named(expected.begin(), expected.end());
  std::vector<QString> chain;
  QWidget* w = Find<QWidget>("FontListBox");
  for (int i = 0; i < 200 && chain.size() < expected.size(); ++i, w = w->nextInFocusChain())
    if (named.count(w->objectName()) && (chain.empty() || chain.back() != w->objectName()))
      chain.push_back(w->objectName());
  EXPECT_EQ(chain, expected);
}

struct TextCase {
  const char* name;
  const char* plain;     // body of tmp\Info\message, nullptr: no file
  const char* language;  // body of message.eng, nullptr: no file
  const char* languageName;
  std::vector<std::pair<const char*, QString>> expected;  // control, caption
};

TEST_F(WindowTest, CaptionsComeFromThePlainThenTheLanguageMessageFile) {
  const std::string longValue = "[Install Window]\r\nMsg18=" + std::string(3000, 'm') + "\r\n";
  const std::vector<TextCase> cases = {
      {"no message files", nullptr, nullptr, "eng",
       {{"", "Zelva Font Installer"}, {"Label1", "Select Font Style"}, {"Label2", "Fonts List"},
        {"CheckInstallBoth", "Check for Install Qarn3 ~ Qarn5 or Tosk4 ~ Tosk6 Fonts"},
        {"RadioInstall", "Install"}, {"RadioRemove", "Remove"}, {"Run", "Install"},
        {"SelectAll", "Select All"}, {"Clear", "Reset"}, {"Exit", "Exit"},
        {"Label3", "Fonts:"}, {"Label5", "Installed:"}, {"Label7", "Selected:"},
        {"Label9", "Free Space:"}, {"Label10", "Require Space:"}, {"Label4", "Set"},
        {"Label6", "Set"}, {"Label8", "Set"}, {"Label16", "MB"}, {"Label17", "MB"},
        {"Label18", "mark is installed"}}},
      {"a language file with only Msg10",
       "[Install Window]\r\nTitle=Plain Title\r\nMsg1=Plain Style\r\nMsg10=Plain Install\r\n"
       "Msg5=Pieces\r\nMsg18=Megs\r\n",
       "[Install Window]\r\nMsg10=Language Install\r\n", "eng",
       {{"", "Plain Title"}, {"Label1", "Plain Style"}, {"RadioInstall", "Language Install"},
        {"Run", "Language Install"}, {"RadioRemove", "Remove"}, {"Label4", "Pieces"},
        {"Label6", "Pieces"}, {"Label8", "Pieces"}, {"Label16", "Megs"}, {"Label17", "Megs"}}},
      {"an empty language name reads the plain file alone",
       "[Install Window]\r\nMsg10=Plain Install\r\n", "[Install Window]\r\nMsg10=Other\r\n", "",
       {{"RadioInstall", "Plain Install"}, {"Run", "Plain Install"}}},
      {"a value is cut to 2047 characters", longValue.c_str(), nullptr, "",
       {{"Label16", QString(2047, 'm')}, {"Label17", QString(2047, 'm')}}},
      {"other sections and an empty value",
       "[Other]\r\nMsg2=Elsewhere\r\n[install window]\r\nmsg2=\r\n", nullptr, "eng",
       {{"Label2", ""}, {"Label1", "Select Font Style"}}},
  };
  window = std::make_unique<TInsFont>(&launcher, &startFolder);
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.name);
    fixture::Disc local;
    if (c.plain) local.Message(c.plain);
    if (c.language) local.Message(c.language, "eng");
    local.Build();
    local.Open(c.languageName);
    window->LoadTexts();
    for (const auto& [name, caption] : c.expected) {
      if (*name == '\0') {
        EXPECT_EQ(window->windowTitle(), caption);
        continue;
      }
      QWidget* control = Find<QWidget>(name);
      QString shown;
      if (auto* label = qobject_cast<QLabel*>(control)) shown = label->text();
      if (auto* button = qobject_cast<QAbstractButton*>(control)) shown = button->text();
      EXPECT_EQ(shown, caption) << name;
    }
    // Right-aligned captions keep their right edge at 468, whatever their text.
    for (const char* name : {"Label3", "Label5", "Label7", "Label9", "Label10"})
      EXPECT_EQ(Find<QWidget>(name)->geometry().right() + 1, 468) << name;
  }
}

class ChineseWindowTest : public WindowTest {
 protected:
  ChineseWindowTest() : WindowTest(1028) {}
};

TEST_F(ChineseWindowTest, AStyleNameWithBackslashTrailBytesIsMatchedByteForByte) {
  // 許, 功 and 蓋 end in the byte 0x5C in Big5.
  const std::string name = platform::Utf8ToAnsi("許功蓋字型", 950);
  ASSERT_NE(name.find('\\'), std::string::npos);
  for (Font f : fixture::NumberedFonts(2)) disc.Add(f);
  disc.Add(Style{"S1", platform::Utf8ToAnsi("其他", 950), {"F1"}});
  disc.Add(Style{"S2", name, {"F1", "F2"}});
  Open();
  QComboBox* combo = Find<QComboBox>("ComboFontStyle");
  ASSERT_EQ(combo->itemText(1), QString::fromUtf8("許功蓋字型"));
  combo->setCurrentIndex(1);
  Settle();
  EXPECT_EQ(window->ShownStyle(), name);
  EXPECT_EQ(window->EntryCount(), 2);
  EXPECT_EQ(Text("Label11"), "2");
}

TEST_F(ChineseWindowTest, Big5CaptionsShowAsChinese) {
  const std::string big5 = platform::Utf8ToAnsi("[Install Window]\r\nMsg1=選擇字型樣式\r\nMsg5=套\r\n", 950);
  ASSERT_NE(big5.find('\xBF'), std::string::npos);  // really Big5 bytes, not UTF-8
  disc.Message(big5);
  disc.Build();
  disc.Open();
  window = std::make_unique<TInsFont>(&launcher, &startFolder);
  window->LoadTexts();
  EXPECT_EQ(Text("Label1"), QString::fromUtf8("選擇字型樣式"));
  EXPECT_EQ(Text("Label4"), QString::fromUtf8("套"));
}

// Three fonts in the first style, the second installed; two in the second style.
class ListTest : public WindowTest {
 protected:
  void SetUp() override {
    for (Font f : fixture::NumberedFonts(5)) disc.Add(f);
    disc.Add(Style{"S1", "Style One", {"F1", "F2", "F3"}});
    disc.Add(Style{"S2", "Style Two", {"F4", "F5"}});
  }
  void Install(int index) {
    disc.Build();
    disc.MarkInstalled(disc.fonts().at(index), prefix.fontsDir());
  }
  // Fonts, Installed, Selected and Require Space exactly; Free Space near what the drive of the
  // Fonts folder has now (other programs write to the same disk meanwhile).
  void ExpectCounters(const char* fonts, const char* installed, const char* selected,
                      const char* require) {
    const std::vector<QString> shown = Counters();
    EXPECT_EQ(shown[0], fonts);
    EXPECT_EQ(shown[1], installed);
    EXPECT_EQ(shown[2], selected);
    EXPECT_EQ(shown[4], require);
    const long long now = platform::FreeBytesOfDrive("C:\\") / 1048576;
    EXPECT_NEAR(shown[3].toLongLong(), now, 512) << shown[3].toStdString();
  }
};

TEST_F(ListTest, LoadingListsTheFirstStyleAndFillsTheCounters) {
  Install(1);
  Open();
  QComboBox* combo = Find<QComboBox>("ComboFontStyle");
  ASSERT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->itemText(0), "Style One");
  EXPECT_EQ(combo->currentText(), "Style One");
  EXPECT_EQ(window->ShownStyle(), "Style One");
  ASSERT_EQ(window->EntryCount(), 3);
  const auto& rows = window->Rows();
  EXPECT_EQ(rows[0].key, "F1");
  EXPECT_EQ(rows[1].check->accessibleName(), "Font 2");
  EXPECT_EQ(rows[0].mark, nullptr);
  ASSERT_NE(rows[1].mark, nullptr);
  EXPECT_EQ(rows[1].mark->geometry(), QRect(27, 24, 24, 18));
  EXPECT_TRUE(RowEnabled(rows[0]));
  EXPECT_FALSE(RowEnabled(rows[1]));
  ExpectCounters("3", "1", "0", "0");
  EXPECT_FALSE(Find<QWidget>("Run")->isEnabled());
  for (const char* name : {"SelectAll", "Clear", "Exit", "FontListBox", "RadioInstall",
                           "RadioRemove", "ComboFontStyle"})
    EXPECT_TRUE(Find<QWidget>(name)->isEnabled()) << name;
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  // Value labels end at x = 505.
  for (const char* name : {"Label11", "Label12", "Label13", "Label14", "Label15"})
    EXPECT_EQ(Find<QWidget>(name)->geometry().right() + 1, 505) << name;

  ClickRow(0);
  Settle();
  EXPECT_TRUE(rows[0].check->isChecked());
  EXPECT_EQ(Text("Label13"), "1");
  EXPECT_EQ(Text("Label15"), "1");
  EXPECT_TRUE(Find<QWidget>("Run")->isEnabled());

  combo->setCurrentIndex(1);
  Settle();
  EXPECT_EQ(window->ShownStyle(), "Style Two");
  ASSERT_EQ(window->EntryCount(), 2);
  EXPECT_FALSE(window->Rows()[0].check->isChecked());
  ExpectCounters("2", "0", "0", "0");
}

TEST_F(ListTest, AStyleWithoutFontsGivesAnEmptyListAndZeroCounters) {
  disc.Add(Style{"S0", "Empty Style", {}});
  Open();
  Find<QComboBox>("ComboFontStyle")->setCurrentIndex(2);
  Settle();
  EXPECT_EQ(window->ShownStyle(), "Empty Style");
  EXPECT_EQ(window->EntryCount(), 0);
  ExpectCounters("0", "0", "0", "0");
  EXPECT_FALSE(Find<QWidget>("Run")->isEnabled());
  Click("SelectAll");
  Settle();
  EXPECT_FALSE(Find<QWidget>("Run")->isEnabled());
  EXPECT_TRUE(Find<QWidget>("Exit")->isEnabled());
}

TEST_F(WindowTest, ACatalogueWithoutStylesStillEnablesTheWindow) {
  Open();
  EXPECT_EQ(window->EntryCount(), 0);
  EXPECT_EQ(Text("Label11"), "0");
  EXPECT_TRUE(Find<QWidget>("Exit")->isEnabled());
}

TEST_F(ListTest, TypingAnUnknownStyleNamePutsTheShownStyleBack) {
  Open();
  const QCheckBox* firstBox = window->Rows()[0].check;
  QComboBox* combo = Find<QComboBox>("ComboFontStyle");
  QTest::keyClicks(combo->lineEdit(), "x");
  Settle();
  EXPECT_EQ(combo->currentText(), "Style One");
  EXPECT_EQ(window->Rows()[0].check, firstBox);  // nothing was rebuilt
  combo->setCurrentIndex(0);
  Settle();
  EXPECT_EQ(window->Rows()[0].check, firstBox);
}

TEST_F(ListTest, WithEveryFontInstalledOnlyRemoveModeOffersTheBoxes) {
  disc.Build();
  for (int i : {0, 1, 2}) disc.MarkInstalled(disc.fonts()[i], prefix.fontsDir());
  Open();
  for (const InsCheckList& row : window->Rows()) {
    EXPECT_FALSE(RowEnabled(row));
    EXPECT_NE(row.mark, nullptr);
  }
  Click("SelectAll");
  Settle();
  for (const InsCheckList& row : window->Rows()) EXPECT_FALSE(row.check->isChecked());
  EXPECT_FALSE(Find<QWidget>("Run")->isEnabled());
  EXPECT_EQ(Text("Label13"), "0");

  Click("RadioRemove");
  Settle();
  EXPECT_EQ(Find<QPushButton>("Run")->text(), "Remove");
  for (const InsCheckList& row : window->Rows()) {
    EXPECT_TRUE(RowEnabled(row));
    EXPECT_FALSE(row.check->isChecked());
  }
  Click("SelectAll");
  Settle();
  for (const InsCheckList& row : window->Rows()) EXPECT_TRUE(row.check->isChecked());
  EXPECT_EQ(Text("Label13"), "3");
  EXPECT_EQ(Text("Label15"), "3");
  EXPECT_TRUE(Find<QWidget>("Run")->isEnabled());
  Click("Clear");
  Settle();
  for (const InsCheckList& row : window->Rows()) EXPECT_FALSE(row.check->isChecked());
  EXPECT_EQ(Text("Label13"), "0");
}

TEST_F(ListTest, ModeSwitchesUncheckEveryBox) {
  Install(1);
  Open();
  ClickRow(0);
  ClickRow(2);
  Settle();
  ASSERT_EQ(Text("Label13"), "2");
  for (const char* radio : {"RadioRemove", "RadioInstall"}) {
    SCOPED_TRACE(radio);
    Click(radio);
    Settle();
    for (const InsCheckList& row : window->Rows()) EXPECT_FALSE(row.check->isChecked());
    EXPECT_EQ(Text("Label13"), "0");
    EXPECT_EQ(Text("Label15"), "0");
    EXPECT_FALSE(Find<QWidget>("Run")->isEnabled());
  }
  EXPECT_TRUE(Find<QWidget>("CheckInstallBoth")->isEnabled());
  // In remove mode only the installed font can be checked.
  Click("RadioRemove");
  Settle();
  EXPECT_FALSE(RowEnabled(window->Rows()[0]));
  EXPECT_TRUE(RowEnabled(window->Rows()[1]));
  EXPECT_FALSE(Find<QWidget>("CheckInstallBoth")->isEnabled());
}

TEST_F(ListTest, EqualModeCaptionsMakeASwitchOnlyDisableRun) {
  disc.Message("[Install Window]\r\nMsg10=Go\r\nMsg17=Go\r\n");
  Open();
  ClickRow(0);
  Settle();
  ASSERT_TRUE(Find<QWidget>("Run")->isEnabled());
  Click("RadioRemove");
  Settle();
  EXPECT_FALSE(Find<QWidget>("Run")->isEnabled());
  EXPECT_TRUE(window->Rows()[0].check->isChecked());
  EXPECT_EQ(Text("Label13"), "1");
}

TEST_F(ListTest, ClickingTheModeAlreadyChosenLeavesRunEnabled) {
  Install(1);
  Open();
  const std::pair<const char*, int> modes[] = {{"RadioInstall", 0}, {"RadioRemove", 1}};
  for (const auto& [radio, row] : modes) {
    SCOPED_TRACE(radio);
    Click(radio);
    Settle();
    ClickRow(row);
    Settle();
    ASSERT_TRUE(Find<QWidget>("Run")->isEnabled());
    Click(radio);
    Settle();
    EXPECT_TRUE(Find<QWidget>("Run")->isEnabled());
    EXPECT_TRUE(window->Rows()[row].check->isChecked());
    EXPECT_EQ(Text("Label13"), "1");
  }
}

TEST_F(ListTest, OnlyTheBackgroundStartsADrag) {
  Install(1);
  Open();
  const std::vector<std::pair<QWidget*, bool>> presses = {
      {Find<QWidget>("Label1"), false},  {Find<QWidget>("Label18"), false},
      {Find<QWidget>("Label11"), false}, {Find<QWidget>("Mark"), false},
      {window->Rows()[0].sample, false}, {window->Rows()[1].mark, false},
      {Find<QWidget>("InstallBack"), true},
  };
  for (const auto& [control, drags] : presses) {
    SCOPED_TRACE(control->objectName().isEmpty() ? "a row's picture"
                                                 : control->objectName().toStdString());
    QTest::mousePress(control, Qt::LeftButton, {}, control->rect().center());
    EXPECT_EQ(window->Dragging(), drags);
    QTest::mouseRelease(control, Qt::LeftButton, {}, control->rect().center());
    EXPECT_FALSE(window->Dragging());
  }
}

// Without a thread of its own the worker's jobs run on the window thread: the window still
// counts, and closing it does not wait for a thread that never ran.
TEST_F(ListTest, AWorkerWhoseThreadCannotBeCreatedStillCountsAndCloses) {
  const bool previous = platform::SetThreadCreationFailing(true);
  Open();
  ExpectCounters("3", "0", "0", "0");
  ClickRow(0);
  Settle();
  EXPECT_EQ(Text("Label13"), "1");
  EXPECT_TRUE(Find<QWidget>("Run")->isEnabled());
  Click("Exit");
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(window->HasWorker());
  platform::SetThreadCreationFailing(previous);
}

TEST_F(ListTest, RowsStackByTheirSampleHeightsAndAMissingSampleHasNone) {
  disc.fonts()[0].sampleHeight = 30;
  disc.fonts()[1].writeSample = false;
  disc.fonts()[2].sampleHeight = 20;
  Open();
  const auto& rows = window->Rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].sample->geometry(), QRect(27, 0, 240, 30));
  EXPECT_EQ(rows[0].check->geometry(), QRect(10, 6, 17, 17));
  EXPECT_EQ(rows[1].sample->geometry(), QRect(27, 30, 0, 0));
  EXPECT_EQ(rows[1].check->geometry(), QRect(10, 22, 17, 17));  // (0 - 17) / 2 = -8
  EXPECT_EQ(rows[2].sample->geometry(), QRect(27, 30, 240, 20));
  EXPECT_EQ(rows[2].check->geometry(), QRect(10, 31, 17, 17));
}

TEST_F(ListTest, RequireSpaceIsRoundedUpToWholeMegabytes) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"0", "0"},                           // 0 bytes
      {"0.00000095367431640625", "1"},      // 1 byte
      {"1", "1"},                           // 1 048 576 bytes
      {"1.00000095367431640625", "2"},      // 1 048 577 bytes
      {"4095.999999046325683594", "4096"},    // 4 294 967 295 bytes: no wrap to 0
  };
  for (std::size_t i = 0; i < 3; ++i) disc.fonts()[i].size = cases[i].first;
  disc.fonts()[3].size = cases[3].first;
  disc.fonts()[4].size = cases[4].first;
  Open();
  auto check = [&](int row, const char* expected) {
    ClickRow(row);
    Settle();
    EXPECT_EQ(Text("Label15"), expected) << "row " << row;
    ClickRow(row);
    Settle();
  };
  check(0, "0");
  check(1, "1");
  check(2, "1");
  Find<QComboBox>("ComboFontStyle")->setCurrentIndex(1);
  Settle();
  check(0, "2");
  check(1, "4096");
}

TEST_F(ListTest, HiddenInstallBothStaysCheckedSoLinkedFontsCount) {
  disc.fonts()[0].links = {"F3"};
  Open("", 0);
  EXPECT_FALSE(Find<QWidget>("CheckInstallBoth")->isVisibleTo(window.get()));
  ClickRow(0);
  Settle();
  EXPECT_EQ(Text("Label13"), "2");
  EXPECT_EQ(Text("Label15"), "2");
}

TEST_F(ListTest, AVisibleInstallBothDecidesWhetherLinkedFontsCount) {
  disc.fonts()[0].links = {"F3"};
  Open("", 1);
  EXPECT_TRUE(Find<QWidget>("CheckInstallBoth")->isVisible());
  ClickRow(0);
  Settle();
  EXPECT_EQ(Text("Label13"), "2");
  Click("CheckInstallBoth");
  Settle();
  EXPECT_EQ(Text("Label13"), "1");
  EXPECT_EQ(Text("Label15"), "1");
}

TEST_F(ListTest, DraggingTheBackgroundMovesTheWindow) {
  Open();
  const QPoint start = window->pos();
  window->InstallBackMouseDown(100, 100);
  window->InstallBackMouseMove(130, 110);
  EXPECT_EQ(window->pos(), start + QPoint(30, 10));
  // The control moved with the window, so the same screen point is now 30, 10 less.
  window->InstallBackMouseMove(100, 100);
  EXPECT_EQ(window->pos(), start + QPoint(30, 10));
  window->InstallBackMouseUp();
  window->InstallBackMouseMove(0, 0);
  EXPECT_EQ(window->pos(), start + QPoint(30, 10));
  EXPECT_FALSE(window->Dragging());

  QWidget* back = Find<QWidget>("InstallBack");
  QTest::mousePress(back, Qt::LeftButton, {}, QPoint(200, 200));
  EXPECT_TRUE(window->Dragging());
  QTest::mouseRelease(back, Qt::LeftButton, {}, QPoint(200, 200));
  EXPECT_FALSE(window->Dragging());
}

TEST_F(ListTest, ExitClosesTheWindowAndBringsTheLauncherBack) {
  Open();
  disc::Paths().setFolder = "D:\\TTF\\";
  Click("Exit");
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(launcher.isVisible());
  EXPECT_FALSE(window->HasWorker());
  EXPECT_EQ(window->EntryCount(), 0);
  EXPECT_EQ(disc::Paths().setFolder, "D:\\");
  EXPECT_EQ(platform::GetCurrentDirectoryA(), "D:\\");

  // The window opens again on the same set.
  launcher.hide();
  window->show();
  window->LoadFontSet();
  Settle();
  EXPECT_EQ(window->EntryCount(), 3);
  EXPECT_TRUE(window->HasWorker());
}

TEST_F(ListTest, LoadingAgainWithoutClosingStartsOneNewWorker) {
  Open();
  window->LoadFontSet();
  Settle();
  EXPECT_EQ(window->EntryCount(), 3);
  EXPECT_EQ(Text("Label11"), "3");
  EXPECT_TRUE(Find<QWidget>("Exit")->isEnabled());
}

TEST_F(WindowTest, ProgressSetsTheRangeOnTheFirstCallAndClearsTheStatusOnTheLast) {
  struct Call {
    int done, total;
    const char* name;
    int maximum, value;
    QString status;
  };
  const std::vector<std::vector<Call>> runs = {
      {{0, 0, nullptr, 0, 0, ""}},
      {{0, 2, "A", 2, 0, "A"}, {1, 2, "B", 2, 1, "B"}, {2, 2, nullptr, 2, 2, ""}},
      {{0, 3, "A", 3, 0, "A"}, {1, 3, nullptr, 3, 1, ""}},  // done may end below total
  };
  window = std::make_unique<TInsFont>(&launcher, &startFolder);
  QProgressBar* bar = Find<QProgressBar>("ProgressBar1");
  QStatusBar* status = Find<QStatusBar>("StatusBar");
  for (const auto& run : runs) {
    for (const Call& call : run) {
      window->ShowProgress(call.done, call.total, call.name);
      EXPECT_EQ(bar->minimum(), 0);
      EXPECT_EQ(bar->maximum(), call.maximum);
      EXPECT_EQ(bar->value(), call.value);
      EXPECT_EQ(status->currentMessage(), call.status);
    }
  }
  EXPECT_TRUE(window->isVisible());
}

TEST_F(ListTest, ACatalogueThatCannotLoadClosesTheWindow) {
  disc.Build();
  disc.Open();
  disc::Paths().infoFolder = "D:\\TTF\\no such folder";
  window = std::make_unique<TInsFont>(&launcher, &startFolder);
  launcher.hide();
  window->show();
  window->LoadFontSet();
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(launcher.isVisible());
  EXPECT_FALSE(window->HasWorker());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  // StartLock was given back.
  WaitLock(window->Locks().StartLock);
  ReleaseLock(window->Locks().StartLock);
}

}  // namespace
