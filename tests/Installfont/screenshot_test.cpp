// The window as a Traditional Chinese user sees it: Big5 captions and names, one style listed,
// some fonts marked installed. The picture is written where ZF_FONTWINDOW_PNG says (the
// project keeps one in docs/fontwindow.png).
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <cstdlib>

#include "Installfont/window_support.h"
#include "assets/assets.h"

namespace {

using fixture::Font;
using fixture::Style;

class ScreenshotTest : public fixture::WindowTest {
 protected:
  ScreenshotTest() : WindowTest(1028) {}
};

std::string Big5(const char* utf8) { return platform::Utf8ToAnsi(utf8, 950); }

TEST_F(ScreenshotTest, TraditionalChineseWindow) {
  disc.Message(Big5("[Install Window]\r\n"
                    "Title=澤瓦字型安裝程式\r\n"
                    "Msg1=請選擇字型樣式\r\n"
                    "Msg2=字型列表\r\n"
                    "Msg3=同時安裝 Qarn3 ~ Qarn5 或 Tosk4 ~ Tosk6 字型\r\n"
                    "Msg10=安裝\r\nMsg17=移除\r\nMsg11=全部選取\r\nMsg12=重新設定\r\nMsg13=離開\r\n"
                    "Msg4=字型:\r\nMsg6=已安裝:\r\nMsg7=已選取:\r\nMsg8=剩餘空間:\r\n"
                    "Msg9=所需空間:\r\nMsg5=套\r\nMsg18=MB\r\nMsg14=表示已安裝\r\n"));
  const std::vector<const char*> names = {"澤瓦明體 W3", "澤瓦明體 W5", "澤瓦明體 W7",
                                          "澤瓦楷書 W4", "澤瓦楷書 W6", "澤瓦隸書 W5",
                                          "澤瓦圓體 W3", "澤瓦圓體 W5", "澤瓦黑體 W7",
                                          "澤瓦黑體 W9", "澤瓦行書 W5", "澤瓦魏碑 W6"};
  std::vector<std::string> keys;
  for (std::size_t i = 0; i < names.size(); ++i) {
    Font f = fixture::NumberedFonts(static_cast<int>(i) + 1).back();
    f.name = Big5(names[i]);
    f.writeSample = false;
    f.size = i % 2 ? "7.5" : "12.3";
    disc.Add(f);
    keys.push_back(f.key);
    testing_support::WriteFile(
        disc.setHost() / "tmp" / "img" / f.sample,
        fixture::SamplePicture(std::string(names[i]) + "  永東國酬愛鬱靈鷹袋", 330, 28,
                               "AR PL UMing TW"));
  }
  disc.Add(Style{"S1", Big5("澤瓦經典字型集"), keys});
  disc.Add(Style{"S2", Big5("澤瓦附贈字型"), {}});
  // The legend's artwork doubles as the disc's installed mark, as on the product disc.
  QFile legend(assets::PicturePath("Mark"));
  if (legend.open(QIODevice::ReadOnly)) disc.installedMark = legend.readAll().toStdString();
  disc.Build();
  for (int i : {0, 3, 4}) disc.MarkInstalled(disc.fonts()[i], prefix.fontsDir());
  Open("", 1);
  ClickRow(1);
  ClickRow(2);
  ClickRow(6);
  Settle();
  ASSERT_EQ(Text("Label1"), QString::fromUtf8("請選擇字型樣式"));
  ASSERT_EQ(Find<QComboBox>("ComboFontStyle")->currentText(), QString::fromUtf8("澤瓦經典字型集"));
  ASSERT_EQ(Text("Label13"), "3");

  const QImage shot = window->grab().toImage();
  EXPECT_EQ(shot.size(), QSize(555, 458));
  EXPECT_NE(shot.pixel(30, 100), shot.pixel(200, 420));
  if (const char* out = std::getenv("ZF_FONTWINDOW_PNG")) EXPECT_TRUE(shot.save(out, "PNG"));
}

}  // namespace
